#include "comport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Pty {
    int master = -1, slave = -1;
    char name[256] = {};
    Pty() { EXPECT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0); }
    ~Pty() { ::close(master); ::close(slave); }
};

TEST(ComPortPath, EnvironmentNamesTheDeviceElseTtyS)
{
    char path[64];
    unsetenv("COM7");
    ASSERT_TRUE(comport::devicePath(7, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyS6");
    setenv("COM7", "/dev/ttyUSB0", 1);
    ASSERT_TRUE(comport::devicePath(7, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyUSB0");
    setenv("COM7", "", 1);
    ASSERT_TRUE(comport::devicePath(7, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyS6");
    unsetenv("COM7");
    EXPECT_FALSE(comport::devicePath(0, path, sizeof path));
    EXPECT_FALSE(comport::devicePath(7, path, 5)) << "a cut path must not be used";
}

TEST(ComPortOpen, SecondOpenIsRefusedInThisProcessAndAnother)
{
    Pty pty;
    int fd = comport::openExclusive(pty.name);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC) << "a program the caller starts must not inherit the port";

    errno = 0;
    EXPECT_EQ(comport::openExclusive(pty.name), -1);
    EXPECT_EQ(errno, EBUSY);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(comport::openExclusive(pty.name) == -1 && errno == EBUSY ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(comport::close(fd), 0);
    fd = comport::openExclusive(pty.name);
    EXPECT_GE(fd, 0) << "closing must release the device";
    comport::close(fd);
}

TEST(ComPortOpen, MissingDeviceAndNonTerminalAreRefused)
{
    errno = 0;
    EXPECT_EQ(comport::openExclusive("/nonexistent/ttyX"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(comport::openExclusive("/dev/null"), -1);
    EXPECT_EQ(errno, ENOTTY);
}

TEST(ComPortOpen, OpensByPortNumberThroughEnvironment)
{
    Pty pty;
    setenv("COM12", pty.name, 1);
    int fd = comport::open(12);
    unsetenv("COM12");
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hi", 2), 2);
    char got[2];
    ASSERT_EQ(read(pty.master, got, 2), 2);
    EXPECT_EQ(std::string(got, 2), "hi");
    comport::close(fd);
}

} // namespace
