// The port table's device open, on a file: Wine does not enforce share
// modes on COM ports (docs/windows.md) but does on files, so what holds a
// second holder off is checked here on every run.
#include "exclusive_open.h"

#include <gtest/gtest.h>

namespace {

TEST(ExclusiveOpen, HolderSharesWithNoOneAndClosingReleases)
{
    char directory[MAX_PATH], path[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
    ASSERT_NE(GetTempFileNameA(directory, "sio", 0, path), 0u);
    HANDLE holder = serwyn::platform::win32::openExclusive(path);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE) << GetLastError();

    EXPECT_EQ(serwyn::platform::win32::openExclusive(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE reader = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(reader, INVALID_HANDLE_VALUE) << "not even for reading";

    EXPECT_TRUE(CloseHandle(holder));
    holder = serwyn::platform::win32::openExclusive(path);
    EXPECT_NE(holder, INVALID_HANDLE_VALUE) << "closing released the file";
    CloseHandle(holder);
    DeleteFileA(path);
}

} // namespace
