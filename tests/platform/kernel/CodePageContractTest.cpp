// Code-page conversion of paths and texts: UTF-8 and UTF-16 both ways, surrogate pairs, size query, ill-formed input.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"

namespace {

TEST(CodePageContract, RoundTripsWithSizeQuery) {
    struct Case {
        const char *name;
        const char *utf8;
        WCHAR utf16[6];
        int units;
    };
    const Case cases[] = {
        {"ASCII", "Az", {0x41, 0x7A}, 2},
        {"two-byte", "\xC3\xA9", {0xE9}, 1},
        {"three-byte", "\xE2\x82\xAC", {0x20AC}, 1},
        {"surrogate pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, 2},
        {"mixed", "a\xF0\x9F\x8E\xB5\xC3\xA9", {0x61, 0xD83C, 0xDFB5, 0xE9}, 4},
    };
    // Where the system code page is UTF-8 it must convert exactly as UTF-8 does.
    const UINT codePages[] = {CP_UTF8, GetACP() == CP_UTF8 ? UINT(CP_ACP) : UINT(CP_UTF8)};
    for (UINT codePage : codePages) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            const int bytes = int(std::strlen(c.utf8));
            WCHAR wide[8] = {};
            EXPECT_EQ(MultiByteToWideChar(codePage, 0, c.utf8, -1, nullptr, 0), c.units + 1);
            ASSERT_EQ(MultiByteToWideChar(codePage, 0, c.utf8, -1, wide, 8), c.units + 1);
            EXPECT_EQ(std::memcmp(wide, c.utf16, sizeof(c.utf16)), 0);
            EXPECT_EQ(lstrlenW(wide), c.units);

            char narrow[16] = {};
            EXPECT_EQ(WideCharToMultiByte(codePage, 0, wide, -1, nullptr, 0, nullptr, nullptr), bytes + 1);
            ASSERT_EQ(WideCharToMultiByte(codePage, 0, wide, -1, narrow, 16, nullptr, nullptr), bytes + 1);
            EXPECT_STREQ(narrow, c.utf8);
        }
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
