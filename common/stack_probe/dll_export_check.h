#pragma once
// A test fixture that loads one DLL and calls its exports by name through
// pointers of the header's types, as a 32-bit application does, checking that
// each call leaves the caller's stack pointer where it was.
#include "stack_probe.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace stack_probe {

class DllExportCheck : public ::testing::Test {
protected:
    explicit DllExportCheck(const char *dllName) : m_dllName(dllName) {}

    void SetUp() override
    {
        m_dll = LoadLibraryA(m_dllName);
        ASSERT_NE(m_dll, nullptr) << m_dllName << " does not load";
    }

    void TearDown() override
    {
        if (m_dll != nullptr)
            FreeLibrary(m_dll);
    }

    // Calls the export NAME typed as F with ARGS; the stack must not move.
    template <class F, class... Args> void check(const char *name, Args... args)
    {
        EXPECT_TRUE(CallingConvention<F>::calleeCleans) << name << " is not declared stdcall";
        const FARPROC function = GetProcAddress(m_dll, name);
        ASSERT_NE(function, nullptr) << name << " is not exported";
        const int shift = stackShiftOfCall<F>(reinterpret_cast<void *>(function), args...);
        EXPECT_EQ(shift, 0) << name << " moved its caller's stack pointer by " << shift << " bytes";
    }

private:
    const char *m_dllName;
    HMODULE m_dll = nullptr;
};

} // namespace stack_probe
