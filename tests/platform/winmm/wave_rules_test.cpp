// Windows' rules for the players' and recorder's wave calls: format queries, misplaced headers, input a reset returns.
#include "wave_support.h"

namespace {

TEST(WaveRules, FormatQueriesHeadersInTheWrongStateRepeatedStateCallsAndClosedDevices) {
    WaveLog outLog, inLog;
    // A format query opens nothing.
    WAVEFORMATEX zeroRate = PcmFormat(1, 8000, 16), badAlign = PcmFormat(1, 22050, 16),
                 unknownTag = PcmFormat(1, 8000, 8);
    zeroRate.nAvgBytesPerSec = 0;
    badAlign.nBlockAlign = 3;
    unknownTag.wFormatTag = 0x1234;
    const struct {
        WAVEFORMATEX format;
        UINT device;
        MMRESULT expected;
        // Wine repairs inconsistent block alignments and byte rates instead of refusing them.
        bool wineRepairs;
    } cases[] = {
        {PcmFormat(1, 8000, 8), WAVE_MAPPER, MMSYSERR_NOERROR, false},
        {PcmFormat(2, 48000, 8), WAVE_MAPPER, MMSYSERR_NOERROR, false},
        {PcmFormat(2, 44100, 16), 0, MMSYSERR_NOERROR, false},
        {zeroRate, WAVE_MAPPER, WAVERR_BADFORMAT, true},
        {badAlign, WAVE_MAPPER, WAVERR_BADFORMAT, true},
        {unknownTag, WAVE_MAPPER, WAVERR_BADFORMAT, false},
        {PcmFormat(1, 8000, 8), waveOutGetNumDevs(), MMSYSERR_BADDEVICEID, false},
    };
    for (const auto &c : cases) {
        if (c.wineRepairs && RunningUnderWine()) continue;
        HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(0x1234);
        EXPECT_EQ(waveOutOpen(&handle, c.device, &c.format, DWORD_PTR(WaveLog::Add<HWAVEOUT>), DWORD_PTR(&outLog),
                              CALLBACK_FUNCTION | WAVE_FORMAT_QUERY),
                  c.expected)
            << &c - cases;
        EXPECT_EQ(handle, reinterpret_cast<HWAVEOUT>(0x1234)) << &c - cases;
    }
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &cases[0].format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &cases[0].format, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
    EXPECT_EQ(outLog.Count(), 0) << "a format query sent a message";

    const WAVEFORMATEX format = PcmFormat(1, 8000, 16);
    HWAVEOUT out = nullptr;
    HWAVEIN in = nullptr;
    ASSERT_EQ(Open(&out, format, outLog), MMSYSERR_NOERROR);
    ASSERT_EQ(Open(&in, format, inLog), MMSYSERR_NOERROR);
    Buffers outBuffers(2, 16000), inBuffers(1, 1600);  // 1 s of output; 100 ms of input each
    WAVEHDR &played = outBuffers[0], &unpreparedOut = outBuffers[1];
    WAVEHDR &queued = inBuffers[0];
    ASSERT_EQ(waveOutPause(out), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(out, played), MMSYSERR_NOERROR);
    ASSERT_EQ(Queue(out, played), MMSYSERR_NOERROR);
    ASSERT_EQ(Prepare(in, queued), MMSYSERR_NOERROR);
    ASSERT_EQ(Queue(in, queued), MMSYSERR_NOERROR);

    const struct {
        const char *what;
        MMRESULT result, expected;
    } rows[] = {
        {"write unprepared", Queue(out, unpreparedOut), WAVERR_UNPREPARED},
        {"unprepare queued output", Unprepare(out, played), WAVERR_STILLPLAYING},
        {"prepare output, short size", waveOutPrepareHeader(out, &unpreparedOut, sizeof(WAVEHDR) - 1),
         MMSYSERR_INVALPARAM},
    };
    for (const auto &row : rows) EXPECT_EQ(row.result, row.expected) << row.what;
    EXPECT_EQ(unpreparedOut.dwFlags, 0u) << "a refused write leaves the header alone";

    // Reset hands back what never played or filled, marked done, before it returns.
    ASSERT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(played.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    EXPECT_EQ(queued.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
    EXPECT_EQ(queued.dwBytesRecorded, 0u) << "the device never started";
    EXPECT_EQ(Unprepare(out, played), MMSYSERR_NOERROR);
    EXPECT_EQ(Unprepare(in, queued), MMSYSERR_NOERROR);

    // Repeated state calls change nothing and succeed; every call on a closed device names nothing.
    Buffers buffers(2, 1600);
    const struct {
        const char *what;
        MMRESULT result, expected;
    } open[] = {
        {"restart a playing device", waveOutRestart(out), MMSYSERR_NOERROR},
        {"pause", waveOutPause(out), MMSYSERR_NOERROR},
        {"pause a paused device", waveOutPause(out), MMSYSERR_NOERROR},
        {"reset an empty device", waveOutReset(out), MMSYSERR_NOERROR},
        {"stop a device never started", waveInStop(in), MMSYSERR_NOERROR},
        {"start", waveInStart(in), MMSYSERR_NOERROR},
        {"start a started device", waveInStart(in), MMSYSERR_NOERROR},
        {"reset an empty input", waveInReset(in), MMSYSERR_NOERROR},
        {"prepare output", Prepare(out, buffers[0]), MMSYSERR_NOERROR},
        {"prepare it again", Prepare(out, buffers[0]), MMSYSERR_NOERROR},
        {"unprepare output", Unprepare(out, buffers[0]), MMSYSERR_NOERROR},
        {"unprepare it again", Unprepare(out, buffers[0]), MMSYSERR_NOERROR},
        {"close output", waveOutClose(out), MMSYSERR_NOERROR},
        {"close input", waveInClose(in), MMSYSERR_NOERROR},
    };
    for (const auto &row : open) EXPECT_EQ(row.result, row.expected) << row.what;
    DWORD volume = 0;
    // Wine looks at a header's flags before the handle: a header marked prepared gets past them.
    WAVEHDR stale = buffers[1];
    stale.dwFlags = WHDR_PREPARED;
    const struct {
        const char *what;
        MMRESULT result;
    } closed[] = {
        {"waveOutPrepareHeader", Prepare(out, buffers[1])},
        {"waveOutPause", waveOutPause(out)},
        {"waveOutGetVolume", waveOutGetVolume(out, &volume)},
        {"waveOutClose", waveOutClose(out)},
        {"waveInAddBuffer", Queue(in, stale)},
        {"waveInStart", waveInStart(in)},
        {"waveInClose", waveInClose(in)},
    };
    for (const auto &row : closed) EXPECT_EQ(row.result, MMSYSERR_INVALHANDLE) << row.what << " on a closed device";
    EXPECT_EQ(buffers[1].dwFlags, 0u) << "a call on a closed device touched the header";
    EXPECT_EQ(stale.dwFlags, DWORD(WHDR_PREPARED)) << "a call on a closed device touched the header";
}

}  // namespace
