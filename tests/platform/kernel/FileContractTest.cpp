// Files: what the file media source relies on, on files the tests make in the working directory.
#include <gtest/gtest.h>

#include "ContractSupport.h"

namespace {

const WideString kName = Wide("brivane-file-contract.bin");

HANDLE OpenFile(const WideString &name, DWORD access, DWORD creation) {
    return CreateFileW(name.c_str(), access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// All low bits set is a real size or position when the last error is 0: the file source's size and seek rely on it.
TEST(FileContract, ReadOnlyHandleRefusesWritesPointerMovesAndAllLowBitsSetAreNoFailure) {
    const BYTE bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    DWORD written = 0;
    HANDLE file = OpenFile(kName, GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_TRUE(WriteFile(file, bytes, sizeof(bytes), &written, nullptr));
    CloseHandle(file);
    file = OpenFile(kName, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(file), DWORD(FILE_TYPE_DISK));
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);
    written = 99;
    EXPECT_FALSE(WriteFile(file, bytes, 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);

    // The pointer moves from each origin, but never before the start.
    const DWORD failed = INVALID_SET_FILE_POINTER;
    const struct {
        DWORD method;
        LONG distance;
        DWORD result;  // the new position, or INVALID_SET_FILE_POINTER with error
        DWORD error;
    } steps[] = {{FILE_CURRENT, 3, 3, 0},
                 {FILE_END, 5, 15, 0},
                 {FILE_CURRENT, -16, failed, ERROR_NEGATIVE_SEEK},
                 {FILE_BEGIN, 8, 8, 0}};
    DWORD position = 0;
    for (const auto &step : steps) {
        SCOPED_TRACE(testing::Message() << "method " << step.method << " distance " << step.distance);
        EXPECT_EQ(SetFilePointer(file, step.distance, nullptr, step.method), step.result);
        if (step.result == failed) {
            EXPECT_EQ(GetLastError(), step.error);
        } else {
            position = step.result;
        }
        EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), position);  // a failed move leaves it alone
    }
    BYTE buffer[4] = {};
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 4, &read, nullptr));
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(buffer[0], 8);
    CloseHandle(file);

    file = OpenFile(kName, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    LONG highPart = 0;
    EXPECT_EQ(SetFilePointer(file, LONG(0xFFFFFFFE), &highPart, FILE_BEGIN), 0xFFFFFFFEu);
    ASSERT_TRUE(WriteFile(file, bytes + 9, 1, &written, nullptr));
    SetLastError(1234);
    high = 99;
    EXPECT_EQ(GetFileSize(file, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    EXPECT_EQ(high, 0u);
    SetLastError(1234);
    highPart = 0;
    EXPECT_EQ(SetFilePointer(file, -1, &highPart, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(kName.c_str()));
}

TEST(FileContract, FailuresCarryTheWindowsErrorCode) {
    const struct {
        const char *path;
        DWORD error;
    } cases[] = {{"brivane-missing-file.bin", ERROR_FILE_NOT_FOUND},
                 {"brivane-missing-directory/file.bin", ERROR_PATH_NOT_FOUND},
                 {".", ERROR_ACCESS_DENIED},  // a directory
                 {"", ERROR_PATH_NOT_FOUND}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        SetLastError(1234);
        EXPECT_EQ(OpenFile(Wide(c.path), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
