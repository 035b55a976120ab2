// A playback callback that faults: the library's fault guard clears it and the service thread goes on.
#include <gtest/gtest.h>

#include "HostLibrary.h"
#include "PlaybackHost.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

const wchar_t kMissing[] = L"C:\\brivane-missing\\none.wma";

volatile int *volatile g_nowhere = nullptr;
const char *const kBadPointer = reinterpret_cast<const char *>(16);
volatile LONG g_faultingCalls = 0;
void (*g_fault)() = nullptr;

// Faults in itself, or in an export holding the library lock and the decoder, whose destructors the recovery skips.
void BRIVANE_CALL Faulting(uint32_t, BRIVANE_USER, uint32_t, const void *, uint32_t) {
    InterlockedIncrement(&g_faultingCalls);
    g_fault();
}

TEST(HostService, FaultingCallbackIsClearedAndTheServiceGoesOn) {
    ASSERT_EQ(B().InitBrivane(), 1u);
    PlaybackHost recorder;
    const struct {
        const char *what;
        void (*fault)();
    } rows[] = {
        {"dereferences null", [] { *g_nowhere = 1; }},
        {"GetAudioPCM with a bad path", [] { B().GetAudioPCM(1, kBadPointer, 0, 0, nullptr, 0, nullptr); }},
        {"Convert with bad paths", [] { B().Convert(2, kBadPointer, 1, kBadPointer, nullptr); }},
        {"AudioInOpen with a bad format",
         [] { B().AudioInOpen(1, reinterpret_cast<const BrivaneWaveFormat *>(kBadPointer), nullptr, nullptr, 0); }},
    };
    const char *line = "DispatchPlayMsg, Exception: 0XC0000005, -1073741819";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        g_faultingCalls = 0;
        g_fault = row.fault;
        size_t before = CountDebugLines("DispatchPlayMsg");
        uint32_t faulting = B().AudioOutFileOpen(1, kMissing, Faulting, 0);
        ASSERT_NE(faulting, 0u);
        WaitUntil([&] { return CountDebugLines(line) != before; }, 5000);
        ASSERT_EQ(CountDebugLines("DispatchPlayMsg"), before + 1);

        // Another failure of the same instance finds no callback: nothing reaches the faulting one again.
        EXPECT_EQ(B().AudioOutSeek(faulting, 500), 1u);
        Sleep(500);
        EXPECT_EQ(g_faultingCalls, 1);

        // Nothing the fault abandoned is still held: locked exports and the kept decoder answer.
        uint32_t next = recorder.OpenMissing();
        ASSERT_NE(next, 0u);
        EXPECT_TRUE(recorder.WaitForCode(next, BRIVANE_EVENT_COMMAND_FAILED, milliseconds(5000)));
        B().GetAudioPCM(1, "C:\\brivane-missing\\none.wma", 0, 0, nullptr, 0, nullptr);
        EXPECT_EQ(B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr), 1u) << "the kept decoder is left in use";
        B().AudioOutClose(faulting);
        B().AudioOutClose(next);
    }
    B().UnInitBrivane();
}

}  // namespace
