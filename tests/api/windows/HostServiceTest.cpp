// A playback callback that faults: the library's fault guard clears it and the service thread goes on.
#include <gtest/gtest.h>

#include "HostHarness.h"
#include "HostLibrary.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

const wchar_t kMissing[] = L"C:\\brivane-missing\\none.wma";

volatile int *volatile g_nowhere = nullptr;
volatile LONG g_faultingCalls = 0;

// Callbacks that fault: in their own code, and inside exports they call with a bad pointer while
// those hold the library lock and the decoder (a fault recovery skips the exports' destructors).
void BRIVANE_CALL DereferenceNull(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {
    InterlockedIncrement(&g_faultingCalls);
    *g_nowhere = 1;
}
void BRIVANE_CALL DecodeBadPath(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {
    InterlockedIncrement(&g_faultingCalls);
    B().GetAudioPCM(1, reinterpret_cast<const char *>(16), 0, 0, nullptr, 0, nullptr);
}
void BRIVANE_CALL ConvertBadPath(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {
    InterlockedIncrement(&g_faultingCalls);
    B().Convert(2, reinterpret_cast<const char *>(16), 1, reinterpret_cast<const char *>(16), nullptr);
}
void BRIVANE_CALL CaptureBadFormat(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {
    InterlockedIncrement(&g_faultingCalls);
    B().AudioInOpen(1, reinterpret_cast<const BrivaneWaveFormat *>(16), nullptr, nullptr, 0);
}

TEST(HostService, FaultingCallbackIsClearedAndTheServiceGoesOn) {
    ASSERT_EQ(B().InitBrivane(), 1u);
    HostLog recorder;
    const struct {
        const char *what;
        AudioOutCallback callback;
    } rows[] = {
        {"dereferences null", DereferenceNull},
        {"GetAudioPCM with a bad path", DecodeBadPath},
        {"Convert with bad paths", ConvertBadPath},
        {"AudioInOpen with a bad format", CaptureBadFormat},
    };
    const char *line = "DispatchPlayMsg, Exception: 0XC0000005, -1073741819";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        g_faultingCalls = 0;
        size_t before = CountDebugLines("DispatchPlayMsg");
        uint32_t faulting = B().AudioOutFileOpen(1, kMissing, row.callback, 0);
        ASSERT_NE(faulting, 0u);
        WaitUntil([&] { return CountDebugLines(line) != before; }, 5000);
        ASSERT_EQ(CountDebugLines("DispatchPlayMsg"), before + 1);

        // Another failure of the same instance finds no callback: nothing reaches the faulting one again.
        EXPECT_EQ(B().AudioOutSeek(faulting, 500), 1u);
        Sleep(500);
        EXPECT_EQ(g_faultingCalls, 1);
        EXPECT_EQ(CountDebugLines("DispatchPlayMsg"), before + 1);

        // Nothing the fault abandoned is still held: locked exports and the kept decoder answer.
        uint32_t next = OpenMissing(recorder);
        ASSERT_NE(next, 0u);
        EXPECT_TRUE(recorder.WaitForEvent(next, BRIVANE_EVENT_COMMAND_FAILED));
        B().GetAudioPCM(1, "C:\\brivane-missing\\none.wma", 0, 0, nullptr, 0, nullptr);
        EXPECT_EQ(B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr), 1u) << "the kept decoder is left in use";
        B().AudioOutClose(faulting);
        B().AudioOutClose(next);
    }
    B().UnInitBrivane();
}

}  // namespace
