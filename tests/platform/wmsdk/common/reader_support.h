// What the media reader tests share, in the Windows API only: media, a recording callback and a host's buffer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "ContractSupport.h"
#include "WaveTestSupport.h"
#include "reader_callback.h"

// Made once by reader_media.sh with ffmpeg; a Windows run is handed them, made on the host, in BRIVANE_TEST_MEDIA.
inline std::string MediaPath(const std::string &name) {
    static const std::string dir = [] {
        const char *given = std::getenv("BRIVANE_TEST_MEDIA");
        if (given && *given) return std::string(given);
        const std::string made = READER_MEDIA_DIR;
        if (!made.empty() && std::system(("sh '" READER_MEDIA_SCRIPT "' '" + made + "'").c_str()) != 0)
            ADD_FAILURE() << "reader_media.sh could not make the test media (is ffmpeg on PATH?)";
        return made;
    }();
    EXPECT_FALSE(dir.empty()) << "BRIVANE_TEST_MEDIA must name the directory of the test media";
    return dir + "/" + name;
}

// The media reader_media.sh makes; <file>.s16 holds what the ffmpeg program decodes from each.
struct TestMedium {
    const char *file;
    WORD channels;
    DWORD rate;
    DWORD packetFrames;  // one packet of the codec: how far lengths and times may stray
    bool exact;          // PCM: decoded bit for bit
    DWORD wineLead;      // frames of codec delay Wine's decoders leave in front of the PCM

    double PacketSeconds() const { return double(packetFrames) / rate; }
    double Seconds() const {
        return double(ReadBytes(MediaPath(std::string(file) + ".s16")).size()) / (2.0 * channels * rate);
    }
};

const TestMedium kTestMedia[] = {
    {"chirp.wav", 2, 44100, 1, true, 0},
    {"chirp.wma", 2, 44100, 2048, false, 4096},
    {"chirp.mp3", 2, 44100, 1152, false, 1105},
    {"speech.wma", 1, 22050, 1024, false, 2048},
};

inline std::vector<int16_t> AsSamples(const std::vector<BYTE> &bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The props' media type by the two-call size protocol, in storage aligned for the record.
inline WM_MEDIA_TYPE *MediaTypeOf(IWMMediaProps *props, std::vector<ULONGLONG> &storage) {
    DWORD needed = 0;
    EXPECT_EQ(props->GetMediaType(nullptr, &needed), S_OK);
    storage.assign(needed / sizeof(ULONGLONG) + 1, 0);
    WM_MEDIA_TYPE *type = reinterpret_cast<WM_MEDIA_TYPE *>(storage.data());
    EXPECT_EQ(props->GetMediaType(type, &needed), S_OK);
    return type;
}

inline WAVEFORMATEX FormatOf(const WM_MEDIA_TYPE *type) {
    WAVEFORMATEX format = {};
    if (type->pbFormat && type->cbFormat >= sizeof(format)) std::memcpy(&format, type->pbFormat, sizeof(format));
    return format;
}

// How closely b follows a, in dB, in a window at frame `at`, b shifted centre +- radius frames to fit best (*shift).
inline double AlignedSnr(const std::vector<int16_t> &a, const std::vector<int16_t> &b, size_t channels, size_t at,
                         int centre, int radius, int *shift) {
    const long window = 4096;
    auto error = [&](int s, long step, double *power) {
        double noise = 0;
        *power = 0;
        for (long i = 0; i < window * long(channels); i += step) {
            const long ia = long(at * channels) + i, ib = ia + long(s) * long(channels);
            if (ia >= long(a.size()) || ib < 0 || ib >= long(b.size())) return -1.0;
            const double d = double(a[size_t(ia)]) - b[size_t(ib)];
            noise += d * d;
            *power += double(a[size_t(ia)]) * a[size_t(ia)];
        }
        return noise;
    };
    // A sparse look finds the shift; the whole window measures it.
    double best = -1, power = 0;
    *shift = centre;
    for (int s = centre - radius; s <= centre + radius; ++s) {
        const double noise = error(s, 7 * long(channels), &power);
        if (noise >= 0 && (best < 0 || noise < best)) {
            best = noise;
            *shift = s;
        }
    }
    const double noise = error(*shift, 1, &power);
    return noise < 0 ? -1 : noise == 0 ? 200 : 10 * std::log10(power / noise);
}

// A sample buffer of the host's, for AllocateForOutput.
class CTestBuffer final : private CNssBufferCore<E_POINTER> {
public:
    static INSSBuffer *Create(DWORD capacity) { return new CTestBuffer(capacity); }
    // A buffer is one of these when it shares their method table.
    static bool IsOne(INSSBuffer *buffer) {
        static INSSBuffer *const probe = Create(1);
        return *reinterpret_cast<void *const *>(buffer) == *reinterpret_cast<void *const *>(probe);
    }

private:
    explicit CTestBuffer(DWORD capacity) : CNssBufferCore(nullptr, capacity ? capacity : 1), m_bytes(m_capacity) {
        m_data = m_bytes.data();
    }

    std::vector<BYTE> m_bytes;
};

// Records what a reader reports, lends buffers, and given a clock steps it by seconds as the library's decoder does.
class CReaderLog : public CReaderCallback {
public:
    ~CReaderLog() override {
        for (const auto &held : kept) held.first->Release();
    }
    LONG References() const { return LONG(CComObject::References()); }

    // Waits until the status has come; false on time-out.
    bool WaitFor(WMT_STATUS status, DWORD timeoutMs) {
        return Await(timeoutMs, [&] { return Seen(status) > 0; });
    }
    // Waits for the end of playing: the end of the medium or of the segment, or an error; false on time-out.
    bool WaitForEnd(DWORD timeoutMs) {
        return Await(timeoutMs, [&] { return Ended(); });
    }

    IWMReaderAdvanced *clock = nullptr;
    // Written on the reader's threads; read once the awaited status has come.
    std::vector<BYTE> pcm;  // of output 0
    std::vector<QWORD> times, durations;
    std::vector<DWORD> ticks;  // GetTickCount at each sample
    int lent = 0, foreign = 0;
    std::vector<QWORD> reached;      // the time of each OnTime
    std::vector<QWORD> deliveredTo;  // at each OnTime, the end of the last sample delivered
    int early = 0;                   // samples that came before the host's clock had reached them
    // Every keepEvery-th sample's buffer stays referenced to the end, with a copy of what it held.
    int keepEvery = 0;
    std::vector<std::pair<INSSBuffer *, std::vector<BYTE>>> kept;

    // True when no kept buffer has changed since it came.
    bool KeptUnchanged() const {
        for (const auto &held : kept) {
            BYTE *data = nullptr;
            DWORD length = 0;
            held.first->GetBufferAndLength(&data, &length);
            if (std::vector<BYTE>(data, data + length) != held.second) return false;
        }
        return true;
    }

private:
    int Seen(WMT_STATUS status) const { return int(std::count(statuses.begin(), statuses.end(), status)); }
    bool Ended() const { return Seen(WMT_EOF) + Seen(WMT_END_OF_SEGMENT) + Seen(WMT_ERROR) > 0; }
    // A time the reader refuses ends the playing as an error would.
    void DeliverTime(QWORD time) {
        const HRESULT hr = clock->DeliverTime(time);
        if (FAILED(hr)) Record(WMT_ERROR, hr);
    }

    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE *, void *) override {
        if (status == WMT_STARTED && clock) DeliverTime(Locked([&] { return m_given = 10000000; }));
        Record(status, hr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSample(DWORD output, QWORD time, QWORD duration, DWORD, INSSBuffer *sample,
                                       void *) override {
        BYTE *data = nullptr;
        DWORD length = 0;
        sample->GetBufferAndLength(&data, &length);
        EnterCriticalSection(&m_lock);
        if (output == 0) {
            pcm.insert(pcm.end(), data, data + length);
            times.push_back(time);
            durations.push_back(duration);
            ticks.push_back(GetTickCount());
            (CTestBuffer::IsOne(sample) ? lent : foreign)++;
            if (clock && time > m_given) ++early;
            if (keepEvery && times.size() % size_t(keepEvery) == 0) {
                sample->AddRef();
                kept.emplace_back(sample, std::vector<BYTE>(data, data + length));
            }
        }
        LeaveCriticalSection(&m_lock);
        SetEvent(m_changed);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnTime(QWORD time, void *) override {
        // The next step of the host's clock, 0 when the playing has ended.
        const QWORD next = Locked([&] {
            reached.push_back(time);
            deliveredTo.push_back(times.empty() ? 0 : times.back() + durations.back());
            return clock && !Ended() ? m_given += 10000000 : 0;
        });
        if (next) DeliverTime(next);
        SetEvent(m_changed);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AllocateForStream(WORD, DWORD, INSSBuffer **, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD, DWORD size, INSSBuffer **buffer, void *) override {
        *buffer = CTestBuffer::Create(size);
        return S_OK;
    }

    QWORD m_given = 0;  // the host's clock
};

// A reader and the interfaces the library takes from it; closed and released however a test ends.
struct TestReader {
    IWMReader *reader = nullptr;
    IWMReaderAdvanced2 *advanced = nullptr;
    IWMHeaderInfo *header = nullptr;
    const HRESULT created = WMCreateReader(nullptr, 0, &reader);

    TestReader() {
        if (reader) {
            EXPECT_EQ(reader->QueryInterface(IID_IWMReaderAdvanced2, reinterpret_cast<void **>(&advanced)), S_OK);
            EXPECT_EQ(reader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&header)), S_OK);
        }
    }
    // Released without a close, which must give back the host's stream and callback as a close does.
    ~TestReader() {
        if (!reader) return;
        header->Release();
        advanced->Release();
        reader->Release();
    }
    // The result comes at once or with the open status (either ends the library's wait).
    HRESULT Open(const WideString &path, CReaderLog &log) {
        if (!reader) return created;
        const HRESULT hr = reader->Open(path.c_str(), log.Callback(), nullptr);
        if (FAILED(hr)) return hr;
        EXPECT_TRUE(log.WaitFor(WMT_OPENED, 10000)) << "no answer to the open";
        return log.ResultOf(WMT_OPENED);
    }
};
