// Windows test programs start Windows Sockets once for their whole run, as each
// program does in its entry point: the socket layer itself never starts it.

#include <gtest/gtest.h>
#include <winsock2.h>

namespace {

class WinsockStarted final : public ::testing::Environment {
public:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { ::WSACleanup(); }
};

[[maybe_unused]] ::testing::Environment* const started = ::testing::AddGlobalTestEnvironment(new WinsockStarted);

} // namespace
