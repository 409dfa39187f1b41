#include "console.h"

#include "comport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void PrepareStandardStreams()
{
    // open() takes the lowest free descriptor, so the gaps fill in order.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    std::signal(SIGPIPE, SIG_IGN);
}

bool StandardErrorIsTerminal(int port)
{
    struct stat err{};
    if (isatty(STDERR_FILENO) != 1 || fstat(STDERR_FILENO, &err) != 0)
        return false;
    char path[256];
    struct stat line{};
    return !comport::devicePath(unsigned(port), path, sizeof path) || stat(path, &line) != 0 ||
           line.st_rdev != err.st_rdev;
}

bool CheckPortBeforeLibrary(int, std::string&)
{
    return true;
}

std::FILE* OpenRegularFile(const std::string& name, std::string& why)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status{};
    if (fd < 0 || fstat(fd, &status) != 0) {
        why = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        why = S_ISDIR(status.st_mode) ? "it is a directory"
                                      : "it is not a regular file (a FIFO, device or socket is not read)";
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        why = std::strerror(errno);
        close(fd);
    }
    return file;
}
