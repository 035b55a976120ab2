// A host's PCM callback for GetAudioPCM, and the decode call the cases share.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostHarness.h"

class PcmLog {
public:
    static void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
        reinterpret_cast<PcmLog *>(user)->Add(code, static_cast<const char *>(data), length);
    }
    BRIVANE_USER User() { return reinterpret_cast<BRIVANE_USER>(this); }

    // Once this many PCM bytes have arrived, the callback holds the decode until Cancel.
    void HoldAfter(size_t bytes, volatile uint32_t *flag) {
        m_holdAfter = bytes;
        m_flag = flag;
    }
    // As a host thread would: waits for the hold, sets the flag and lets the callback return.
    void Cancel() {
        std::unique_lock<HostMutex> hold(m_lock);
        EXPECT_TRUE(m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return m_held; }));
        __atomic_store_n(m_flag, 1u, __ATOMIC_RELAXED);
        m_changed.notify_all();
    }

    std::vector<uint32_t> codes;  // a run of PCM deliveries counts once
    std::string pcm;
    BrivaneWaveFormat format = {};
    std::vector<HostThreadId> controlThreads;  // where codes other than PCM came

private:
    void Add(uint32_t code, const char *data, uint32_t length) {
        std::unique_lock<HostMutex> hold(m_lock);
        if (codes.empty() || codes.back() != code || code != BRIVANE_PCM_DATA) codes.push_back(code);
        if (code == BRIVANE_PCM_DATA) pcm.append(data, length);
        if (code != BRIVANE_PCM_DATA) controlThreads.push_back(CurrentHostThread());
        if (code == BRIVANE_PCM_FORMAT && length == sizeof(format)) std::memcpy(&format, data, sizeof(format));
        if (m_flag && !m_held && pcm.size() >= m_holdAfter) {
            m_held = true;
            m_changed.notify_all();
            m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return *m_flag != 0; });
        }
    }

    HostMutex m_lock;
    HostCondition m_changed;
    size_t m_holdAfter = 0;
    volatile uint32_t *m_flag = nullptr;
    bool m_held = false;
};

inline int WorstDifference(const std::string &a, const std::string &b) {
    int worst = 0;
    for (size_t i = 0; i + 1 < std::min(a.size(), b.size()); i += 2)
        worst = std::max(worst, std::abs(int16_t(uint8_t(a[i]) | uint8_t(a[i + 1]) << 8) -
                                         int16_t(uint8_t(b[i]) | uint8_t(b[i + 1]) << 8)));
    return worst;
}

const std::vector<uint32_t> kWhole = {BRIVANE_PCM_FORMAT, BRIVANE_PCM_DATA, BRIVANE_PCM_END};

class GetAudioPcm : public ::testing::Test {
protected:
    // No decoder is left behind for the suites that follow in this process.
    void TearDown() override { Brivane().GetAudioPCM(BRIVANE_KIND_AUDIO, nullptr, 0, 0, nullptr, 0, nullptr); }

    static uint32_t Decode(const std::string &path, PcmLog &log, uint32_t startMs = 0, uint32_t endMs = 0,
                           volatile uint32_t *cancel = nullptr, uint32_t kind = BRIVANE_KIND_AUDIO) {
        // A flag set before the call silences the open's progress line too.
        const bool cancelled = cancel && *cancel;
        testing::internal::CaptureStdout();
        const uint32_t result = Brivane().GetAudioPCM(kind, path.c_str(), startMs, endMs, &PcmLog::OnPcm, log.User(), cancel);
        const bool opened = testing::internal::GetCapturedStdout() == "Reader Callback: File is opened.\n";
        EXPECT_EQ(result && !cancelled, opened);
        return result;
    }
};

