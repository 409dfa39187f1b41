// The shared library's exports against the simulated reader over a pty.
#pragma once

#include "qarnapi.h"
#include "readersim.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct ReaderApiTest : ::testing::Test {
    readersim::ReaderSim sim;
    std::int32_t handle = -1;

    void SetUp() override
    {
        ASSERT_TRUE(sim.ok());
        setenv("COM5", sim.devicePath().c_str(), 1);
        ASSERT_EQ(QARNStartAPI(5), RC_OK);
    }

    void TearDown() override
    {
        QARNTerminateAPI();
        unsetenv("COM5");
    }

    // Opens the reader and forgets the requests that took.
    void openReader()
    {
        ASSERT_EQ(QARNOpenReader(&handle, 1), RC_OK);
        ASSERT_EQ(handle, 0);
        sim.forgetRequests();
    }

    Bytes commands() const
    {
        Bytes codes;
        for (const readersim::Request &r : sim.requests())
            codes.push_back(r.command);
        return codes;
    }

    static readersim::InjectedFault reply(std::uint8_t status, Bytes payload = {})
    {
        return {readersim::Fault::CustomReply, 0, status, std::move(payload)};
    }
};
