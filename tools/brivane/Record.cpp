// brivane record: captures from the default input while the library encodes it with a profile; the
// encoded stream it delivers becomes a .wma file and, optionally, the raw PCM a WAV file. A level
// meter and the elapsed time show on a terminal.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CliFailure.h"
#include "CliSupport.h"
#include "Commands.h"
#include "HostOs.h"
#include "brivane.h"

namespace {

const unsigned kDefaultSeconds = 10;
const unsigned kPollMs = 20;
const int kMeterWidth = 20;
// How long past the requested time the capture may lag before the command gives up.
const unsigned kGraceMs = 5000;

struct RecordOptions {
    const char *output = nullptr;
    const char *profile = nullptr;
    const char *pcm = nullptr;
    unsigned long seconds = kDefaultSeconds;
    BrivaneWaveFormat format = {1, 1, 16000, 32000, 2, 16, 0};
};

bool ParseNumber(const char *text, unsigned long low, unsigned long high, unsigned long *value, char **end) {
    const unsigned long parsed = std::strtoul(text, end, 10);
    if (*end == text || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// RATE:BITS:CH, for example 44100:16:2.
bool ParseFormat(const char *text, BrivaneWaveFormat *format) {
    unsigned long rate, bits, channels;
    char *end = nullptr;
    if (!ParseNumber(text, 1000, 384000, &rate, &end) || *end != ':') return false;
    if (!ParseNumber(end + 1, 8, 32, &bits, &end) || bits % 8 != 0 || *end != ':') return false;
    if (!ParseNumber(end + 1, 1, 8, &channels, &end) || *end != '\0') return false;
    format->wFormatTag = 1;
    format->nChannels = static_cast<uint16_t>(channels);
    format->nSamplesPerSec = static_cast<uint32_t>(rate);
    format->wBitsPerSample = static_cast<uint16_t>(bits);
    format->nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    format->cbSize = 0;
    return true;
}

// Returns an error line, or null when the options make sense.
const char *ParseOptions(int argc, char **argv, RecordOptions *options) {
    for (int i = 0; i < argc; ++i) {
        const char *argument = argv[i];
        const bool hasValue = i + 1 < argc;
        char *end = nullptr;
        if (std::strcmp(argument, "--profile") == 0) {
            if (!hasValue) return "--profile needs a file";
            options->profile = argv[++i];
        } else if (std::strcmp(argument, "--pcm") == 0) {
            if (!hasValue) return "--pcm needs a file";
            options->pcm = argv[++i];
        } else if (std::strcmp(argument, "--seconds") == 0) {
            if (!hasValue || !ParseNumber(argv[++i], 1, 86400, &options->seconds, &end) || *end != '\0')
                return "--seconds must be a whole number from 1 to 86400";
        } else if (std::strcmp(argument, "--format") == 0) {
            if (!hasValue || !ParseFormat(argv[++i], &options->format))
                return "--format must be RATE:BITS:CH (1000-384000 Hz, 8/16/24/32 bits, 1-8 channels)";
        } else if (argument[0] == '-' || options->output) {
            return "unexpected argument (expected OUT.wma and --profile, --seconds, --format, --pcm)";
        } else {
            options->output = argument;
        }
    }
    return options->output ? nullptr : "the output file is missing";
}

void PutLE(std::vector<unsigned char> *out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// The 44-byte header of a PCM WAV file holding dataBytes bytes.
std::vector<unsigned char> WavHeader(const BrivaneWaveFormat &format, uint32_t dataBytes) {
    std::vector<unsigned char> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    PutLE(&header, 36 + dataBytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(&header, 16, 4);
    PutLE(&header, format.wFormatTag, 2);
    PutLE(&header, format.nChannels, 2);
    PutLE(&header, format.nSamplesPerSec, 4);
    PutLE(&header, format.nAvgBytesPerSec, 4);
    PutLE(&header, format.nBlockAlign, 2);
    PutLE(&header, format.wBitsPerSample, 2);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    PutLE(&header, dataBytes, 4);
    return header;
}

struct Recording {
    BrivaneWaveFormat format{};
    bool terminal = false;
    unsigned long seconds = 0;
    std::FILE *pcm = nullptr;
    std::atomic<uint64_t> rawBytes{0};
    std::atomic<bool> ended{false};
    HostMutex failuresLock;
    std::vector<uint32_t> failures;  // handles reported with event 6
    std::atomic<bool> pcmFailed{false};
    // Touched by the capture callback only, on the service thread, until the end has been seen.
    std::vector<unsigned char> header;
    std::vector<unsigned char> units;
};

void ShowProgress(Recording *recording, const void *data, uint32_t size) {
    const uint32_t elapsedMs = uint32_t(recording->rawBytes * 1000 / recording->format.nAvgBytesPerSec);
    const std::string text = "recording  " + ClockText(elapsedMs) + " / " + ClockText(recording->seconds * 1000);
    DrawStatusLine(stderr, text.c_str(), MeterLevel(recording->format, data, size, kMeterWidth), kMeterWidth);
}

void BRIVANE_CALL OnCapture(uint32_t, BRIVANE_USER user, uint32_t event, uint32_t arg1, uint32_t arg2,
                            const void *payload, uint32_t size) {
    Recording *recording = reinterpret_cast<Recording *>(user);
    const unsigned char *bytes = static_cast<const unsigned char *>(payload);
    if (event == BRIVANE_REC_EVENT_END) {
        recording->ended = true;
    } else if (event != BRIVANE_REC_EVENT_DATA || !bytes) {
        return;
    } else if (arg1 == 1) {
        if (recording->pcm && std::fwrite(bytes, 1, size, recording->pcm) != size) recording->pcmFailed = true;
        recording->rawBytes += size;
        if (recording->terminal) ShowProgress(recording, bytes, size);
    } else if (arg2 == 0) {
        // A header that comes again after the data units is the final one, with the sizes filled in.
        recording->header.assign(bytes, bytes + size);
    } else {
        recording->units.insert(recording->units.end(), bytes, bytes + size);
    }
}

void BRIVANE_CALL OnFailure(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *, uint32_t) {
    Recording *recording = reinterpret_cast<Recording *>(user);
    HostLockScope hold(recording->failuresLock);
    if (event == BRIVANE_EVENT_COMMAND_FAILED) recording->failures.push_back(handle);
}

bool Failed(Recording *recording, uint32_t handle) {
    HostLockScope hold(recording->failuresLock);
    return std::find(recording->failures.begin(), recording->failures.end(), handle) != recording->failures.end();
}

bool WriteWma(const char *path, const Recording &recording) {
    std::FILE *file = std::fopen(path, "wb");
    if (!file) return false;
    std::fwrite(recording.header.data(), 1, recording.header.size(), file);
    std::fwrite(recording.units.data(), 1, recording.units.size(), file);
    const bool ok = !std::ferror(file);
    return std::fclose(file) == 0 && ok;
}

// Puts the real sizes into the WAV header written before the data.
bool FinishWav(std::FILE *file, const BrivaneWaveFormat &format, uint64_t bytes) {
    const std::vector<unsigned char> header =
        WavHeader(format, static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFD3u)));
    const bool ok =
        std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), file) == header.size();
    return std::fclose(file) == 0 && ok;
}

int Record(const RecordOptions &options, const WideText &profile) {
    Recording recording;
    recording.format = options.format;
    recording.terminal = IsTerminal(stderr);
    recording.seconds = options.seconds;
    if (options.pcm) {
        recording.pcm = std::fopen(options.pcm, "wb");
        const std::vector<unsigned char> placeholder = WavHeader(options.format, 0);
        if (!recording.pcm ||
            std::fwrite(placeholder.data(), 1, placeholder.size(), recording.pcm) != placeholder.size()) {
            const int code = Fail("record", kExitCannotWrite, "%s: %s", options.pcm, std::strerror(errno));
            if (recording.pcm) std::fclose(recording.pcm);
            return code;
        }
    }
    if (InitBrivane() != 1) return Fail("record", kExitFailed, "the library did not start");
    // Capture failures arrive through the playback callback; an open of a file that does not exist
    // points that callback here.
    const WideText missing = WidePath((std::string(options.output) + ".unwritten").c_str());
    const uint32_t listener =
        AudioOutFileOpen(BRIVANE_MODE_DECODE, missing.c_str(), &OnFailure, reinterpret_cast<BRIVANE_USER>(&recording));
    const uint32_t handle = AudioInOpen(BRIVANE_KIND_AUDIO, &options.format, profile.c_str(), &OnCapture,
                                        reinterpret_cast<BRIVANE_USER>(&recording));
    const uint64_t wanted = uint64_t(options.seconds) * options.format.nAvgBytesPerSec;
    if (handle) {
        AudioInStart(handle, 0);
        const unsigned limitMs = options.seconds * 1000 + kGraceMs;
        for (unsigned waited = 0; recording.rawBytes < wanted && !Failed(&recording, handle) && waited < limitMs;
             waited += kPollMs)
            SleepMs(kPollMs);
        AudioInStop(handle);
        for (unsigned waited = 0; !recording.ended && !Failed(&recording, handle) && waited < kGraceMs;
             waited += kPollMs)
            SleepMs(kPollMs);
        AudioInClose(handle);
    }
    AudioOutClose(listener);
    UnInitBrivane();
    if (recording.terminal) std::fprintf(stderr, "\n");

    int code = kExitOk;
    if (!handle || Failed(&recording, handle) || !recording.ended)
        code = Fail("record", kExitFailed,
                    "the capture failed (no input device, a format it refuses, or a profile the "
                    "encoder cannot use)");
    if (code == kExitOk && !WriteWma(options.output, recording))
        code = Fail("record", kExitCannotWrite, "cannot write %s", options.output);
    if (recording.pcm && (!FinishWav(recording.pcm, options.format, recording.rawBytes) || recording.pcmFailed))
        code = Fail("record", kExitCannotWrite, "cannot write %s", options.pcm);
    if (code != kExitOk) return code;
    std::printf("%s: %.2f s recorded, %zu header bytes and %zu bytes of data units\n", options.output,
                double(recording.rawBytes) / options.format.nAvgBytesPerSec, recording.header.size(),
                recording.units.size());
    return 0;
}

int RunRecord(int argc, char **argv) {
    RecordOptions options;
    if (const char *error = ParseOptions(argc, argv, &options)) return Fail("record", kExitUsage, "%s", error);
    WideText profile;
    if (!LoadProfile(options.profile, &profile))
        return FailInput("record", options.profile, "not a profile text (UTF-16 with a byte-order mark, or UTF-8)");
    return Record(options, profile);
}

const CliCommandRegistration kRecord(
    {"record",
     "OUT.wma [--profile FILE.prx] [--seconds N] [--format RATE:BITS:CH] [--pcm OUT.wav]\n"
     "            record N seconds (10 unless given) from the default input, 16000:16:1 unless\n"
     "            --format, encoded with the bundled speech profile unless --profile; --pcm keeps\n"
     "            the raw PCM as a WAV file",
     &RunRecord, 23});
}  // namespace
