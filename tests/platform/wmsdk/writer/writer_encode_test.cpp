// The writer and its profiles: PCM in, WMA out through a file sink and a caller's own, judged by the ffmpeg programs.
#include <complex>
#include <cstdio>
#include <functional>
#include <regex>

#include "reader_support.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

namespace {

// Wine's Windows Media writer and profile manager are stubs (E_NOTIMPL): there writer tests end at their first call.
#define ASSERT_OK_UNLESS_WINE_STUB(call)                                                             \
    do {                                                                                             \
        const HRESULT result = (call);                                                               \
        if (result == E_NOTIMPL && RunningUnderWine())                                               \
            GTEST_SKIP() << "Wine's Windows Media profile manager and writer are stubs (E_NOTIMPL)"; \
        ASSERT_EQ(result, S_OK);                                                                     \
    } while (0)

std::string ReadText(const std::string &path) {
    const std::vector<BYTE> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The text with the first `from` replaced; unchanged (and so still valid) when `from` is missing.
std::string Replace(std::string text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The profile in the XML text; S_OK and a profile, or the failure and none.
HRESULT LoadProfile(const WideString &text, IWMProfile **profile) {
    *profile = nullptr;
    IWMProfileManager *manager = nullptr;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr)) return hr;
    hr = manager->LoadProfileByData(text.c_str(), profile);
    manager->Release();
    return hr;
}

// A profile saved by the Windows tools, kept with the tests.
const std::string kRealWorldProfile = BRIVANE_TEST_DATA_DIR "/voice-22k-stereo-32k.prx";

// The writer with the profile of the text set; the failure when that does not work.
HRESULT SetProfileFrom(IWMWriter *writer, const std::string &text) {
    IWMProfile *profile = nullptr;
    HRESULT hr = LoadProfile(Wide(text), &profile);
    if (SUCCEEDED(hr)) {
        hr = writer->SetProfile(profile);
        profile->Release();
    }
    return hr;
}

// A 440 Hz tone in the format (8 or 16 bits).
std::vector<BYTE> Tone(const WAVEFORMATEX &format, double seconds) {
    const size_t frames = size_t(seconds * format.nSamplesPerSec), width = format.wBitsPerSample / 8;
    std::vector<BYTE> bytes(frames * format.nBlockAlign);
    for (size_t i = 0; i < bytes.size() / width; ++i) {
        const double value =
            0.3 * std::sin(2 * 3.14159265358979 * 440 * double(i / format.nChannels) / format.nSamplesPerSec);
        const int sample = width == 1 ? 128 + int(value * 127) : int(value * 32767);
        for (size_t b = 0; b < width; ++b) bytes[i * width + b] = BYTE(sample >> (8 * b));
    }
    return bytes;
}

// Writes the PCM to the first input in samples of the given sizes (repeated), stamped with a running millisecond time.
HRESULT WritePcm(IWMWriter *writer, const std::vector<BYTE> &pcm, const WAVEFORMATEX &format,
                 const std::vector<DWORD> &chunkSizes) {
    HRESULT last = S_OK;
    QWORD ms = 0;
    for (size_t i = 0, offset = 0; offset < pcm.size(); ++i) {
        const DWORD chunk = DWORD(std::min<size_t>(chunkSizes[i % chunkSizes.size()], pcm.size() - offset));
        INSSBuffer *sample = nullptr;
        BYTE *data = nullptr;
        HRESULT hr = writer->AllocateSample(chunk, &sample);
        if (SUCCEEDED(hr)) {
            sample->GetBuffer(&data);
            std::memcpy(data, &pcm[offset], chunk);
            sample->SetLength(chunk);
            hr = writer->WriteSample(0, ms * 10000, 0, sample);
            sample->Release();
        }
        if (FAILED(hr)) last = hr;
        offset += chunk;
        ms += MulDiv(int(chunk), 1000, int(format.nAvgBytesPerSec));
    }
    return last;
}

// Passes the props' format record through edit, sets it back; the writer sees it only once the props are handed back.
template <class Edit>
HRESULT EditFormat(IWMMediaProps *props, Edit edit) {
    std::vector<ULONGLONG> storage;
    WM_MEDIA_TYPE *media = MediaTypeOf(props, storage);
    if (!media->pbFormat) return E_UNEXPECTED;
    edit(reinterpret_cast<WAVEFORMATEX *>(media->pbFormat));
    return props->SetMediaType(media);
}

// The standard output of a command line; empty when it cannot run.
std::string RunProgram(const std::string &command) {
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// What ffmpeg decodes from the file as 16-bit mono at the rate, from a start in seconds; nothing on reported errors.
std::vector<int16_t> DecodedMono(const std::string &path, DWORD rate, int start = 0) {
    const std::string raw = path + ".raw";
    const std::string errors = RunProgram("ffmpeg -v error -y -ss " + std::to_string(start) + " -i \"" + path +
                                          "\" -f s16le -ac 1 -ar " + std::to_string(rate) + " \"" + raw + "\" 2>&1");
    const std::vector<int16_t> samples = AsSamples(ReadBytes(raw));
    std::remove(raw.c_str());
    return errors.empty() ? samples : std::vector<int16_t>();
}

// How the recording sink treats the writer.
enum class Manner { OwnBuffers, NoBuffers, CallsBack };

// Records every header, data unit and end, bytes in order, as the writer calls its sinks: one call at a time.
class RecordingSink : private CComObject<IWMWriterSink> {
public:
    RecordingSink(Manner manner, IWMWriter *writer) : m_manner(manner), m_writer(writer) {}
    IWMWriterSink *Sink() { return this; }

    std::string events;  // 'h' header, 'd' data unit, 'e' end
    std::vector<BYTE> bytes;
    HRESULT calledBack = S_OK;

private:
    void *FindInterface(REFIID riid) override {
        return riid == IID_IUnknown || riid == IID_IWMWriterSink ? static_cast<IWMWriterSink *>(this) : nullptr;
    }
    void OnFinalRelease() override {}  // on the test's stack: the last Release deletes nothing
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer *header) override { return Record('h', header); }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL *realTime) override { return *realTime = FALSE, S_OK; }
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD size, INSSBuffer **unit) override {
        if (m_manner == Manner::NoBuffers) return E_NOTIMPL;
        return *unit = CTestBuffer::Create(size), S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer *unit) override {
        // A sink that turns back to the writer from inside must be refused, not deadlocked.
        if (m_manner == Manner::CallsBack && SUCCEEDED(calledBack)) calledBack = m_writer->EndWriting();
        return Record('d', unit);
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override { return Record('e', nullptr); }

    HRESULT Record(char event, INSSBuffer *buffer) {
        events += event;
        BYTE *data = nullptr;
        DWORD length = 0;
        if (buffer && SUCCEEDED(buffer->GetBufferAndLength(&data, &length)))
            bytes.insert(bytes.end(), data, data + length);
        return S_OK;
    }

    Manner m_manner;
    IWMWriter *m_writer;
};

// One writer and file sink for all files as conversions use them, an own sink each as capture does: both get it all.
TEST(WriterEncode, FileAndOwnSinksGetCompleteFilesOfTheTone) {
    const std::string voice = ReadText(kRealWorldProfile);
    const std::string pcm = Replace(voice, "wFormatTag=\"353\"", "wFormatTag=\"1\"");
    struct Case {
        const char *what;
        std::string profile;
        DWORD rate;
        const char *stream;  // codec, rate, channels, and the profile's bit rate or the nearest the encoder takes
        WAVEFORMATEX input;  // set on a copy of the input's properties, handed back as capture does
        std::vector<DWORD> chunks;
        Manner manner;
        bool nonBlocking;
    };
    const WAVEFORMATEX stereo = PcmFormat(2, 22050, 16);
    const std::string speech = ReadText(BRIVANE_PROFILE_DIR "/speech-16k-mono.prx");
    const std::string music = ReadText(BRIVANE_PROFILE_DIR "/music-44k-stereo-128k.prx");
    const Case cases[] = {
        {"speech", speech, 16000, "wmav2,16000,1,24000", PcmFormat(1, 16000, 16), {1600}, Manner::OwnBuffers, false},
        {"odd sizes", voice, 22050, "wmav2,22050,2,32024", stereo, {1, 3, 1001, 4410, 7}, Manner::NoBuffers, false},
        {"8-bit mono", voice, 22050, "wmav2,22050,2,32024", PcmFormat(1, 11025, 8), {551}, Manner::OwnBuffers, false},
        {"music", music, 44100, "wmav2,44100,2,128016", PcmFormat(2, 44100, 16), {176400}, Manner::CallsBack, true},
        {"PCM", pcm, 22050, "pcm_s16le,22050,2,705600", stereo, {8820}, Manner::OwnBuffers, true},
    };
    IWMWriter *writer = nullptr;
    IWMWriterAdvanced3 *advanced = nullptr;
    IWMWriterFileSink *sink = nullptr;
    IWMWriterFileSink2 *fileSink = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    // Before the file sink: Wine's file sink factory is a stub that cannot even be called.
    ASSERT_OK_UNLESS_WINE_STUB(SetProfileFrom(writer, cases[0].profile));
    ASSERT_EQ(WMCreateWriterFileSink(&sink), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMWriterAdvanced3, reinterpret_cast<void **>(&advanced)), S_OK);
    ASSERT_EQ(sink->QueryInterface(IID_IWMWriterFileSink2, reinterpret_cast<void **>(&fileSink)), S_OK);
    ASSERT_EQ(advanced->AddSink(fileSink), S_OK);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = "writer-file.wma", ownPath = "writer-own-sink.wma";
        ASSERT_EQ(SetProfileFrom(writer, c.profile), S_OK);
        IWMInputMediaProps *props = nullptr;
        ASSERT_EQ(writer->GetInputProps(0, &props), S_OK);
        ASSERT_EQ(EditFormat(props, [&](WAVEFORMATEX *record) { memcpy(record, &c.input, 16); }), S_OK);
        ASSERT_EQ(writer->SetInputProps(0, props), S_OK);
        props->Release();
        RecordingSink own(c.manner, writer);
        ASSERT_EQ(advanced->AddSink(own.Sink()), S_OK);
        ASSERT_EQ(fileSink->Open(Wide(path).c_str()), S_OK);
        if (c.nonBlocking) {
            EXPECT_EQ(advanced->SetNonBlocking(), S_OK);
        }
        ASSERT_EQ(writer->BeginWriting(), S_OK);
        EXPECT_EQ(WritePcm(writer, Tone(c.input, 3), c.input, c.chunks), S_OK);
        EXPECT_EQ(writer->Flush(), S_OK);
        EXPECT_EQ(writer->EndWriting(), S_OK);
        EXPECT_EQ(fileSink->Close(), S_OK);
        ASSERT_EQ(advanced->RemoveSink(own.Sink()), S_OK);
        EXPECT_TRUE(std::regex_match(own.events, std::regex("hd+e"))) << own.events;
        if (c.manner == Manner::CallsBack) {
            EXPECT_TRUE(FAILED(own.calledBack));
        }

        const std::string probe = RunProgram(
            "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,"
            "bit_rate:format=duration -of csv=p=0 \"" +
            path + "\"");
        const size_t line = probe.find('\n');
        EXPECT_EQ(probe.substr(0, line), c.stream);
        // The final header gives the duration: 3 s and the last frame's padding.
        EXPECT_NEAR(std::atof(probe.c_str() + line + 1), 3.0, 0.1);
        const double decoded = double(DecodedMono(path, c.rate).size()) / c.rate;
        EXPECT_NEAR(decoded, 3.0, 0.2);
        // A seekable file: decoding from 2 s gives the last second.
        EXPECT_NEAR(double(DecodedMono(path, c.rate, 2).size()) / c.rate, decoded - 2, 0.1);
        std::remove(path.c_str());

        // The own sink's bytes are the tone: nearly all power at 440 Hz, at least half as loud (mono to stereo: -3 dB).
        WriteBytes(ownPath, own.bytes);
        const std::vector<int16_t> played = DecodedMono(ownPath, c.rate);
        std::remove(ownPath.c_str());
        EXPECT_NEAR(double(played.size()) / c.rate, 3.0, 0.25);
        std::complex<double> tone;
        double power = 0;
        for (size_t i = 0; i < played.size(); ++i) {
            tone += double(played[i]) * std::polar(1.0, -2 * 3.14159265358979 * 440 * double(i) / c.rate);
            power += double(played[i]) * played[i];
        }
        const double amplitude = 2 * std::abs(tone) / double(played.size());
        EXPECT_GT(amplitude * amplitude / 2, 0.9 * power / double(played.size()));
        EXPECT_GT(amplitude, 0.5 * 0.3 * 32767);
    }
    advanced->Release();
    fileSink->Release();
    sink->Release();
    writer->Release();
}

// Refusals by state; SetInputProps while writing is where this writer is stricter than Windows, which takes it.
TEST(WriterEncode, RefusesWhatItCannotWriteAndMalformedProfiles) {
    IWMWriter *writer = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    EXPECT_TRUE(FAILED(writer->BeginWriting())) << "no profile";
    const std::string valid = ReadText(kRealWorldProfile);
    IWMProfile *profile = nullptr;
    HRESULT hr = LoadProfile(Wide(valid), &profile);
    if (SUCCEEDED(hr)) hr = writer->SetProfile(profile);
    ASSERT_OK_UNLESS_WINE_STUB(hr);
    IWMInputMediaProps *props = nullptr;
    ASSERT_EQ(writer->GetInputProps(0, &props), S_OK);
    INSSBuffer *foreign = CTestBuffer::Create(64);
    INSSBuffer *sample = nullptr;
    const struct {
        const char *what;
        std::function<HRESULT()> call;
        HRESULT expected;
    } rows[] = {
        {"AllocateSample before BeginWriting", [&] { return writer->AllocateSample(64, &sample); },
         NS_E_INVALID_REQUEST},
        {"WriteSample before BeginWriting", [&] { return writer->WriteSample(0, 0, 0, foreign); },
         NS_E_INVALID_REQUEST},
        {"Flush before BeginWriting", [&] { return writer->Flush(); }, NS_E_INVALID_REQUEST},
        {"EndWriting before BeginWriting", [&] { return writer->EndWriting(); }, NS_E_INVALID_REQUEST},
        {"BeginWriting", [&] { return writer->BeginWriting(); }, S_OK},
        {"BeginWriting again", [&] { return writer->BeginWriting(); }, NS_E_INVALID_REQUEST},
        {"SetProfile while writing", [&] { return writer->SetProfile(profile); }, NS_E_INVALID_REQUEST},
        {"SetInputProps while writing", [&] { return writer->SetInputProps(0, props); }, NS_E_INVALID_REQUEST},
        {"WriteSample", [&] { return writer->WriteSample(0, 0, 0, foreign); }, S_OK},
        {"WriteSample of a sample the writer may still hold", [&] { return writer->WriteSample(0, 0, 0, foreign); },
         NS_E_INVALID_REQUEST},
        {"EndWriting", [&] { return writer->EndWriting(); }, S_OK},
        {"EndWriting after EndWriting", [&] { return writer->EndWriting(); }, NS_E_INVALID_REQUEST},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(row.call(), row.expected) << row.what;
        EXPECT_EQ(sample, nullptr) << row.what << ": a refused AllocateSample hands out nothing";
    }
    profile->Release();
    foreign->Release();

    // Compressed audio is no input: the writer takes PCM.
    ASSERT_EQ(EditFormat(props, [](WAVEFORMATEX *record) { record->wFormatTag = 0x161; }), S_OK);
    EXPECT_TRUE(FAILED(writer->SetInputProps(0, props))) << "an input of compressed audio";
    props->Release();

    // A codec this runtime has no encoder for.
    ASSERT_EQ(SetProfileFrom(writer, Replace(valid, "wFormatTag=\"353\"", "wFormatTag=\"254\"")), S_OK);
    EXPECT_EQ(writer->BeginWriting(), HRESULT(0xC00D0BC2));
    writer->Release();

    // Malformed profile text fails without a profile.
    const size_t open = valid.find("<streamconfig"), close = valid.find("</streamconfig>") + 15;
    const std::string stream = valid.substr(open, close - open);
    const struct {
        const char *what;
        std::string text;
    } cases[] = {
        {"broken XML", valid.substr(0, valid.size() / 2)},
        {"not a profile", "<notaprofile/>"},
        {"no stream", "<profile version=\"589824\" name=\"none\"></profile>"},
        {"a video stream only", Replace(valid, "{73647561-", "{73646976-")},
        {"zero rate", Replace(valid, "nSamplesPerSec=\"22050\"", "nSamplesPerSec=\"0\"")},
        {"absurd channels", Replace(valid, "nChannels=\"2\"", "nChannels=\"1000\"")},
        {"a rate that is no number", Replace(valid, "\"22050\"", "\"22O50\"")},
        {"stream number 0", Replace(valid, "streamnumber=\"1\"", "streamnumber=\"0\"")},
        {"broken codec data", Replace(valid, "codecdata=\"0044", "codecdata=\"0Z44")},
        {"two streams with one number", Replace(valid, "</profile>", stream + "</profile>")},
        {"200 000 characters", Replace(valid, "description=\"\"", "description=\"" + std::string(200000, 'x') + "\"")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        IWMProfile *none = reinterpret_cast<IWMProfile *>(1);
        EXPECT_TRUE(FAILED(LoadProfile(Wide(c.text), &none)));
        EXPECT_EQ(none, nullptr);
    }
}

}  // namespace
