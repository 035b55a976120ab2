// The service thread as a host sees it: open failures as event 6 on one library thread, the instance
// limit, and a playback callback that faults.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "HostRecorder.h"

namespace {

const BrivaneExports &B() { return Brivane(); }

const wchar_t kMissing[] = L"C:\\brivane-missing\\none.wma";

class HostService : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(B().InitBrivane(), 1u); }
    void TearDown() override { B().UnInitBrivane(); }

    uint32_t OpenMissingFile() { return B().AudioOutFileOpen(1, kMissing, HostRecorder::OnPlay, HostRecorder::kUser); }

    HostRecorder recorder;
};

TEST_F(HostService, OpensFailOnOneLibraryThreadAsEventSix) {
    static const unsigned char image[64] = {'R', 'I', 'F', 'F'};
    const void *unreadable = reinterpret_cast<const void *>(16);
    const wchar_t empty[] = L"";
    BrivaneWaveFormat format = {1, 0, 0, 0, 0, 16, 0};  // no channels: never a capture format
    const wchar_t profile[] = L"<profile/>";
    auto cb = HostRecorder::OnPlay;
    auto user = HostRecorder::kUser;

    struct Open {
        const char *what;
        uint32_t handle;
        bool accepted;
    };
    const Open opens[] = {
        {"null image", B().AudioOutOpen(1, nullptr, 64, cb, user), false},
        {"empty image", B().AudioOutOpen(1, image, 0, cb, user), false},
        {"negative length", B().AudioOutOpen(1, image, -64, cb, user), false},
        {"null path", B().AudioOutFileOpen(1, nullptr, cb, user), false},
        {"empty path", B().AudioOutFileOpen(1, empty, cb, user), false},
        {"capture kind 2", B().AudioInOpen(2, &format, profile, HostRecorder::OnCapture, user), false},
        {"capture without format", B().AudioInOpen(1, nullptr, profile, HostRecorder::OnCapture, user), false},
        {"memory image", B().AudioOutOpen(1, image, sizeof image, cb, user), true},
        {"direct WAV image", B().AudioOutOpen(2, image, sizeof image, cb, user), true},
        // Reading it faults: the read fails, and the service thread goes on.
        {"unreadable image", B().AudioOutOpen(1, unreadable, sizeof image, cb, user), true},
        {"unreadable direct WAV image", B().AudioOutOpen(2, unreadable, sizeof image, cb, user), true},
        {"missing file", B().AudioOutFileOpen(1, kMissing, cb, user), true},
        // Its failure comes through the playback callback set last, not the capture callback.
        {"capture", B().AudioInOpen(1, &format, profile, HostRecorder::OnCapture, user), true},
    };
    std::set<uint32_t> issued;
    for (const Open &open : opens) {
        SCOPED_TRACE(open.what);
        if (!open.accepted) {
            EXPECT_EQ(open.handle, 0u);
            continue;
        }
        ASSERT_NE(open.handle, 0u);
        EXPECT_TRUE(issued.insert(open.handle).second) << "handle issued twice";
        B().AudioOutPlay(open.handle, 0);  // whichever of open or play fails, it is event 6
        EXPECT_TRUE(recorder.WaitFor(open.handle, BRIVANE_EVENT_COMMAND_FAILED));
    }

    std::set<DWORD> threads;
    for (const PlayEvent &event : recorder.PlayEvents()) {
        EXPECT_TRUE(issued.count(event.handle)) << "event for handle " << event.handle;
        EXPECT_EQ(event.user, HostRecorder::kUser);
        if (event.code == BRIVANE_EVENT_COMMAND_FAILED) {
            EXPECT_EQ(event.payload, nullptr);
            EXPECT_EQ(event.size, 0u);
        }
        threads.insert(event.thread);
    }
    EXPECT_EQ(threads.size(), 1u) << "every event on the same library thread";
    EXPECT_EQ(threads.count(GetCurrentThreadId()), 0u) << "never on the host's thread";
    EXPECT_EQ(recorder.CaptureEventCount(), 0u);
    for (const Open &open : opens) {
        if (open.handle) B().AudioOutClose(open.handle);
    }
}

TEST_F(HostService, AtMostAHundredInstancesAreOpenAtOnce) {
    std::vector<uint32_t> handles;
    for (int i = 0; i < 100; ++i) {
        handles.push_back(OpenMissingFile());
        ASSERT_NE(handles.back(), 0u) << "open " << i + 1;
    }
    EXPECT_EQ(OpenMissingFile(), 0u) << "the 101st open";

    B().AudioOutClose(handles[37]);  // freed on the service thread, a little later
    uint32_t again = 0;
    for (DWORD start = GetTickCount(); !again && GetTickCount() - start < 5000; Sleep(10)) again = OpenMissingFile();
    EXPECT_NE(again, 0u);
    EXPECT_EQ(OpenMissingFile(), 0u) << "the table is full again";
    handles[37] = again;
    for (uint32_t handle : handles) B().AudioOutClose(handle);
}

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

TEST_F(HostService, FaultingCallbackIsClearedAndTheServiceGoesOn) {
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
        for (DWORD start = GetTickCount(); CountDebugLines(line) == before && GetTickCount() - start < 5000;) Sleep(10);
        ASSERT_EQ(CountDebugLines("DispatchPlayMsg"), before + 1);

        // Another failure of the same instance finds no callback: nothing reaches the faulting one again.
        EXPECT_EQ(B().AudioOutSeek(faulting, 500), 1u);
        Sleep(500);
        EXPECT_EQ(g_faultingCalls, 1);
        EXPECT_EQ(CountDebugLines("DispatchPlayMsg"), before + 1);

        // Nothing the fault abandoned is still held: locked exports and the kept decoder answer.
        uint32_t next = OpenMissingFile();
        ASSERT_NE(next, 0u);
        EXPECT_TRUE(recorder.WaitFor(next, BRIVANE_EVENT_COMMAND_FAILED));
        B().GetAudioPCM(1, "C:\\brivane-missing\\none.wma", 0, 0, nullptr, 0, nullptr);
        EXPECT_EQ(B().GetAudioPCM(1, nullptr, 0, 0, nullptr, 0, nullptr), 1u) << "the kept decoder is left in use";
        B().AudioOutClose(faulting);
        B().AudioOutClose(next);
    }
}

}  // namespace
