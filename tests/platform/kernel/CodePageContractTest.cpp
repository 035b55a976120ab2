// Code-page conversion of paths and texts: UTF-8 and UTF-16 both ways, surrogate pairs, size query, ill-formed input.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

namespace {

TEST(CodePageContract, RoundTripsWithSizeQuery) {
    // Characters of one, four, two and three bytes: a, a surrogate pair, e acute, the euro sign.
    const char utf8[] = "a\xF0\x9F\x8E\xB5\xC3\xA9\xE2\x82\xAC";
    const WCHAR utf16[] = {0x61, 0xD83C, 0xDFB5, 0xE9, 0x20AC, 0};
    // Where the system code page is UTF-8 it must convert exactly as UTF-8 does.
    for (UINT codePage : {UINT(CP_UTF8), GetACP() == CP_UTF8 ? UINT(CP_ACP) : UINT(CP_UTF8)}) {
        SCOPED_TRACE(codePage);
        WCHAR wide[8] = {};
        EXPECT_EQ(MultiByteToWideChar(codePage, 0, utf8, -1, nullptr, 0), 6);
        ASSERT_EQ(MultiByteToWideChar(codePage, 0, utf8, -1, wide, 8), 6);
        EXPECT_EQ(std::memcmp(wide, utf16, sizeof(utf16)), 0);
        EXPECT_EQ(lstrlenW(wide), 5);

        char narrow[16] = {};
        EXPECT_EQ(WideCharToMultiByte(codePage, 0, wide, -1, nullptr, 0, nullptr, nullptr), int(sizeof(utf8)));
        ASSERT_EQ(WideCharToMultiByte(codePage, 0, wide, -1, narrow, 16, nullptr, nullptr), int(sizeof(utf8)));
        EXPECT_STREQ(narrow, utf8);
    }
}

TEST(CodePageContract, IllFormedInputAndShortBuffers) {
    WCHAR wide[8] = {};
    char narrow[8] = {};
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, wide, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    // A host's broken sequence becomes one replacement character.
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC3(", -1, wide, 8), 4);
    const WCHAR replaced[] = {0x61, 0xFFFD, 0x28, 0};
    EXPECT_EQ(std::memcmp(wide, replaced, sizeof(replaced)), 0);

    const WCHAR loneSurrogate[] = {0xD800, 0x41, 0};
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, loneSurrogate, -1, narrow, 8, nullptr, nullptr), 5);
    EXPECT_STREQ(narrow,
                 "\xEF\xBF\xBD"
                 "A");
}

}  // namespace
