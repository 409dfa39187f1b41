#include "pseudo_terminal.h"

#include "pty_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {
}

PseudoTerminal::PseudoTerminal()
{
    char path[256];
    if (openpty(&master, &terminal, path, nullptr, nullptr) != 0)
        ADD_FAILURE() << "openpty failed";
    else
        name = path;
}

PseudoTerminal::~PseudoTerminal()
{
    if (master >= 0)
        close(master);
    if (terminal >= 0)
        close(terminal);
}

void PseudoTerminal::send(const std::string &bytes) const
{
    ASSERT_TRUE(sendToTerminal(master, terminal, bytes)) << "the bytes were not written or never reached the port's side";
}

std::string PseudoTerminal::receive(std::size_t count) const
{
    return receiveFromTerminal(master, count);
}

void PseudoTerminal::hangUp()
{
    close(master);
    master = -1;
}
