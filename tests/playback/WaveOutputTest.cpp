// A buffer a reset hands back late belongs to the generation before: it neither counts against nor ends the next start.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "playback/WaveOutput.h"

namespace {

// An owner whose first finished buffer holds the render thread until the test opens the gate.
class GatedOwner final : public IWaveOutputOwner {
public:
    GatedOwner()
        : entered(CreateEventW(nullptr, TRUE, FALSE, nullptr)), gate(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~GatedOwner() {
        CloseHandle(entered);
        CloseHandle(gate);
    }
    void OnRenderStarted() override {}
    BOOL IsActive() override {
        SetEvent(entered);
        WaitForSingleObject(gate, 5000);
        return TRUE;
    }
    void OnOutputEmpty(DWORD generation) override {
        drained = generation;
        ++empties;
    }

    HANDLE entered, gate;
    std::atomic<int> empties{0};
    std::atomic<DWORD> drained{0};
};

TEST(WaveOutputTest, ABufferAResetReturnsLateNeitherCountsNorEndsTheNextGeneration) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    GatedOwner owner;
    {
        CWaveOutput output(&owner, &lock);
        WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
        ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), output.Open(&format));
        output.Prime(400);
        EXPECT_EQ(2, output.PendingBuffers());
        EXPECT_EQ(800, output.QueuedBytes());

        // The first buffer back holds the render thread, so the one the reset returns waits behind it.
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(owner.entered, 5000));
        ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), output.Reset());
        output.NewGeneration();
        const std::vector<BYTE> pcm(400, 128);
        ASSERT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), output.Write(pcm.data(), 400));
        EXPECT_EQ(1, output.PendingBuffers());
        SetEvent(owner.gate);

        for (int waited = 0; waited < 3000 && owner.empties.load() == 0; waited += 10) Sleep(10);
        Sleep(200);
        EXPECT_EQ(1, owner.empties.load());
        EXPECT_EQ(output.Generation(), owner.drained.load());
        EXPECT_EQ(0, output.PendingBuffers());
        EXPECT_EQ(0, output.QueuedBytes());
        output.Reset();
        EXPECT_EQ(static_cast<MMRESULT>(MMSYSERR_NOERROR), output.Close());
    }
    DeleteCriticalSection(&lock);
}

}  // namespace
