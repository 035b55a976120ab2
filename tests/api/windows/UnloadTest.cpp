// Unloading the DLL while the library is initialised and a player plays, as a host that forgets
// UnInitBrivane does: FreeLibrary returns at once, the library's threads keep the module they run,
// and the host lives on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostLibrary.h"
#include "PlaybackMedia.h"

namespace {

volatile LONG g_dataEvents = 0;

void BRIVANE_CALL CountData(uint32_t, BRIVANE_USER, uint32_t code, const void *, uint32_t) {
    if (code == BRIVANE_EVENT_DATA) InterlockedIncrement(&g_dataEvents);
}

bool WaitForData(LONG atLeast) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(10))
        if (g_dataEvents >= atLeast) return true;
    return false;
}

template <class F>
F Resolve(HMODULE module, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(HostUnload, FreeLibraryWhilePlayingReturnsAtOnceAndTheHostLivesOn) {
    // A copy of its own, so that this module's load count is the test's alone.
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    std::wstring dir(exe, length);
    dir.resize(dir.find_last_of(L"\\/") + 1);
    const std::wstring copy = dir + L"BrivaneUnload.dll";
    ASSERT_TRUE(CopyFileW((dir + L"Brivane.dll").c_str(), copy.c_str(), FALSE));

    HMODULE module = LoadLibraryW(copy.c_str());
    ASSERT_NE(module, nullptr);
    auto init = Resolve<decltype(&InitBrivane)>(module, "InitBrivane");
    auto open = Resolve<decltype(&AudioOutOpen)>(module, "AudioOutOpen");
    auto play = Resolve<decltype(&AudioOutPlay)>(module, "AudioOutPlay");
    ASSERT_EQ(init(), 1u);
    static const std::vector<char> wave = NoiseWave(1, 8000, 16, 10000).image;
    const uint32_t handle = open(BRIVANE_MODE_WAVE, wave.data(), int32_t(wave.size()), CountData, 0);
    ASSERT_NE(handle, 0u);
    play(handle, 0);
    ASSERT_TRUE(WaitForData(2));

    const DWORD start = GetTickCount();
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_LT(GetTickCount() - start, 500u);
    // Still initialised: the library keeps its module and plays on, calling the host as before.
    const LONG seen = g_dataEvents;
    EXPECT_TRUE(WaitForData(seen + 10));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), module);

    // Loading it again reaches the same library; its last UnInitBrivane lets the module go.
    HMODULE again = LoadLibraryW(copy.c_str());
    ASSERT_EQ(again, module);
    Resolve<decltype(&AudioOutClose)>(again, "AudioOutClose")(handle);
    Resolve<decltype(&UnInitBrivane)>(again, "UnInitBrivane")();
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr);
    const LONG last = g_dataEvents;
    Sleep(300);
    EXPECT_EQ(g_dataEvents, last) << "the library ran on after its module was unloaded";
    DeleteFileW(copy.c_str());
}

}  // namespace
