// The entry point on Windows: the command line as Unicode (wmain, linked
// with -municode), converted to UTF-8, the form interface names take in the scan.
// The ANSI command line holds the system code page's bytes instead, and "?" for
// every character outside it. Windows Sockets is started here, once, for the
// program's whole run.

#include "program_frame.h"
#include "program_main.h"

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string utf8(std::size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(std::size_t(size) - 1);   // without the terminating NUL
    return utf8;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(Utf8(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    WSADATA sockets{};
    const int startError = ::WSAStartup(MAKEWORD(2, 2), &sockets);
    if (startError != 0)
        return ReportFailure(PROGRAM_NAME,
                             "cannot start Windows Sockets: Windows Sockets error " + std::to_string(startError));
    const int status = RunProgram(argc, pointers.data());
    ::WSACleanup();
    return status;
}
