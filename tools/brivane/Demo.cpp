// brivane demo: the library's main jobs one after the other on a generated speech-like signal,
// with live events and a summary table; exits 0 only when every step worked.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Commands.h"
#include "DemoSteps.h"
#include "HostOs.h"

namespace {

struct Row {
    const char *step;
    StepResult result;
};

struct PcmCount {
    uint64_t bytes = 0;
    uint32_t bytesPerSecond = 0;
    bool ended = false;
};

void BRIVANE_CALL OnPcm(uint32_t, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    PcmCount *count = reinterpret_cast<PcmCount *>(user);
    if (code == BRIVANE_PCM_FORMAT && length >= sizeof(BrivaneWaveFormat))
        count->bytesPerSecond = static_cast<const BrivaneWaveFormat *>(data)->nAvgBytesPerSec;
    else if (code == BRIVANE_PCM_DATA)
        count->bytes += length;
    else if (code == BRIVANE_PCM_END)
        count->ended = true;
}

StepResult ConvertToWma(const DemoFiles &files) {
    StepResult result;
    result.ok =
        Convert(BRIVANE_KIND_WMA, files.wma.c_str(), BRIVANE_KIND_WAV, files.wav.c_str(), files.profile.c_str()) == 1;
    result.detail = result.ok ? "speech.wav -> speech.wma with the bundled speech profile" : "Convert returned 0";
    return result;
}

StepResult ReportDurations(const DemoFiles &files, uint32_t signalMs, uint32_t *wmaMs) {
    const uint32_t wavMs = GetWmaFileDuration(Wide(files.wav).c_str());
    *wmaMs = GetWmaFileDuration(Wide(files.wma).c_str());
    StepResult result;
    result.detail = "WAV " + std::to_string(wavMs) + " ms, WMA " + std::to_string(*wmaMs) + " ms";
    // The encoder may pad the end by a codec frame or two.
    result.ok = wavMs == signalMs && *wmaMs + 50 >= signalMs && *wmaMs <= signalMs + 250;
    return result;
}

StepResult DecodeWindow(const DemoFiles &files) {
    PcmCount count;
    const uint32_t ok = GetAudioPCM(BRIVANE_KIND_AUDIO, files.wma.c_str(), 1000, 2000, &OnPcm,
                                    reinterpret_cast<BRIVANE_USER>(&count), nullptr);
    StepResult result;
    const double seconds = count.bytesPerSecond ? double(count.bytes) / count.bytesPerSecond : 0.0;
    char line[120];
    std::snprintf(line, sizeof line, "window 1000-2000 ms: %llu bytes, %.3f s of PCM",
                  static_cast<unsigned long long>(count.bytes), seconds);
    result.detail = line;
    result.ok = ok == 1 && count.ended && seconds > 0.99 && seconds < 1.01;
    return result;
}

int RunDemo(int, char **) {
    std::printf("Brivane demo: convert, decode, play and record through the library's 22 exports.\n");
    ChooseDemoAudioDevice();
    if (!InitBrivane()) {
        std::printf("InitBrivane failed\n");
        return 1;
    }
    DemoFiles files;
    std::vector<Row> rows;
    if (!PrepareDemoFiles(&files)) {
        std::printf("no scratch directory could be made\n");
        UnInitBrivane();
        return 1;
    }
    std::printf("Working in %s\n\n", files.directory.c_str());

    uint32_t signalMs = 0;
    uint32_t wmaMs = 0;
    std::printf("1. Synthesising a speech-like test signal\n");
    rows.push_back({"signal", WriteSpeechLikeWave(files.wav, &signalMs)});
    std::printf("2. Converting it to Windows Media Audio\n");
    rows.push_back({"convert", ConvertToWma(files)});
    std::printf("3. Asking both files for their durations\n");
    rows.push_back({"durations", ReportDurations(files, signalMs, &wmaMs)});
    std::printf("4. Decoding one second of the WMA to PCM\n");
    rows.push_back({"decode", DecodeWindow(files)});
    std::printf("5. Playing the WMA at 100 %%\n");
    rows.push_back({"play 100 %", PlayWithEvents(files.wma, 100, wmaMs ? wmaMs : signalMs)});
    std::printf("6. Playing the WMA at 150 %% (same pitch, less time)\n");
    rows.push_back({"play 150 %", PlayWithEvents(files.wma, 150, wmaMs ? wmaMs : signalMs)});
    std::printf("7. Recording two seconds from the default input while encoding\n");
    rows.push_back({"record", RecordWhileEncoding(files, 2000)});

    UnInitBrivane();
    RemoveDemoFiles(files);

    bool all = true;
    std::printf("\n%-12s %-6s %s\n", "step", "result", "detail");
    for (const Row &row : rows) {
        std::printf("%-12s %-6s %s\n", row.step, row.result.ok ? "ok" : "FAILED", row.result.detail.c_str());
        all = all && row.result.ok;
    }
    std::printf("\n%s\n", all ? "Every step worked." : "Some steps failed.");
    return all ? 0 : 1;
}

const CliCommandRegistration kDemo({"demo", "convert, decode, play and record a generated signal, with live events",
                                    &RunDemo, 1});

}  // namespace
