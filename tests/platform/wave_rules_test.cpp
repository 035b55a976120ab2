// What the Windows documentation fixes for the wave calls the players and the recorder make, beyond
// the flow the other wave tests follow: refusals of headers in the wrong state or of the wrong size,
// and input buffers handed back unfilled by a reset.
#include <gtest/gtest.h>

#include "wave_support.h"

namespace {

TEST(WaveRules, HeadersInTheWrongStateOrOfTheWrongSizeAreRefused)
{
    const WAVEFORMATEX format = Pcm(1, 8000, 16);
    HWAVEOUT out = nullptr;
    HWAVEIN in = nullptr;
    WaveLog outLog, inLog;
    ASSERT_EQ(waveOutOpen(&out, WAVE_MAPPER, &format, DWORD_PTR(LogWaveOut), DWORD_PTR(&outLog), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &format, DWORD_PTR(LogWaveIn), DWORD_PTR(&inLog), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffers outBuffers(2, 16000), inBuffers(2, 1600);  // 1 s of output; 100 ms of input each
    WAVEHDR &played = outBuffers[0], &unpreparedOut = outBuffers[1];
    WAVEHDR &queued = inBuffers[0], &unpreparedIn = inBuffers[1];
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPrepareHeader(out, &played, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, &played, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInPrepareHeader(in, &queued, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(in, &queued, sizeof(WAVEHDR)), MMSYSERR_NOERROR);

    const struct {
        const char *what;
        MMRESULT result, expected;
    } rows[] = {
        {"write unprepared", waveOutWrite(out, &unpreparedOut, sizeof(WAVEHDR)), WAVERR_UNPREPARED},
        {"add unprepared", waveInAddBuffer(in, &unpreparedIn, sizeof(WAVEHDR)), WAVERR_UNPREPARED},
        {"unprepare queued output", waveOutUnprepareHeader(out, &played, sizeof(WAVEHDR)), WAVERR_STILLPLAYING},
        {"unprepare queued input", waveInUnprepareHeader(in, &queued, sizeof(WAVEHDR)), WAVERR_STILLPLAYING},
        {"prepare output, short size", waveOutPrepareHeader(out, &unpreparedOut, sizeof(WAVEHDR) - 1),
         MMSYSERR_INVALPARAM},
        {"prepare input, short size", waveInPrepareHeader(in, &unpreparedIn, sizeof(WAVEHDR) - 1), MMSYSERR_INVALPARAM},
        {"prepare output, no header", waveOutPrepareHeader(out, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM},
        {"write to no device", waveOutWrite(nullptr, &played, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE},
        {"add to no device", waveInAddBuffer(nullptr, &queued, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.result, row.expected) << row.what;
    EXPECT_EQ(unpreparedOut.dwFlags, 0u) << "a refused write leaves the header alone";

    // Reset hands back what never played or filled, marked done, before it returns.
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(played.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    EXPECT_EQ(queued.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    EXPECT_EQ(queued.dwBytesRecorded, 0u) << "the device never started";
    EXPECT_EQ(waveOutUnprepareHeader(out, &played, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInUnprepareHeader(in, &queued, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

}  // namespace
