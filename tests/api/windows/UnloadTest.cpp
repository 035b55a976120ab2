// FreeLibrary mid-playback, UnInitBrivane forgotten: it returns at once, and the library's threads keep their module.
#include <gtest/gtest.h>

#include "HostHarness.h"
#include "HostLibrary.h"
#include "PlaybackMedia.h"

namespace {

volatile LONG g_dataEvents = 0;

void BRIVANE_CALL CountData(uint32_t, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code == BRIVANE_EVENT_DATA) InterlockedIncrement(&g_dataEvents);
}

TEST(HostUnload, FreeLibraryWhilePlayingReturnsAtOnceAndTheHostLivesOn) {
    // A copy of its own beside it, so that this module's load count is the test's alone.
    wchar_t dll[MAX_PATH];
    const DWORD length = GetModuleFileNameW(GetModuleHandleW(L"Brivane.dll"), dll, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring copy(dll, length);
    copy.insert(copy.size() - 4, L"Unload");
    ASSERT_TRUE(CopyFileW(dll, copy.c_str(), FALSE));

    HMODULE module = LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    BrivaneExports b;
    ASSERT_NO_FATAL_FAILURE(ResolveExports(module, b));
    ASSERT_EQ(b.InitBrivane(), 1u);
    static const std::vector<char> wave = NoiseWave(1, 8000, 16, 10000).image;
    const uint32_t handle = b.AudioOutOpen(BRIVANE_MODE_WAVE, wave.data(), int32_t(wave.size()), CountData, 0);
    ASSERT_NE(handle, 0u);
    b.AudioOutPlay(handle, 0);
    ASSERT_TRUE(WaitUntil([] { return g_dataEvents >= 2; }, 5000));

    const DWORD start = GetTickCount();
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_LT(GetTickCount() - start, 500u);
    // Still initialised: the library keeps its module and plays on, calling the host as before.
    const LONG seen = g_dataEvents;
    EXPECT_TRUE(WaitUntil([&] { return g_dataEvents >= seen + 10; }, 5000));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), module);

    // Loading it again reaches the same library; its last UnInitBrivane lets the module go.
    ASSERT_EQ(LoadLibraryW(copy.c_str()), module);
    b.AudioOutClose(handle);
    b.UnInitBrivane();
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr);
    const LONG last = g_dataEvents;
    Sleep(300);
    EXPECT_EQ(g_dataEvents, last) << "the library ran on after its module was unloaded";
    DeleteFileW(copy.c_str());
}

}  // namespace
