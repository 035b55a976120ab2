#include "files/PcmSink.h"

#include <algorithm>

#include "core/DebugOutput.h"
#include "core/FaultGuard.h"
#include "core/LibraryLockLoan.h"

namespace {

const WAVEFORMATEX kDefaultFormat = {WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
static_assert(sizeof(WAVEFORMATEX) == 18, "the wave format record is 18 bytes");

void Put16(BYTE *at, WORD value) {
    at[0] = BYTE(value);
    at[1] = BYTE(value >> 8);
}

void Put32(BYTE *at, DWORD value) {
    Put16(at, WORD(value));
    Put16(at + 2, WORD(value >> 16));
}

void PutTag(BYTE *at, const char (&tag)[5]) { std::copy(tag, tag + 4, at); }

}  // namespace

CPcmSink::CPcmSink() : m_format(kDefaultFormat) {}

CPcmSink::~CPcmSink() { Close(); }

bool CPcmSink::Open(const char *path) {
    Close();
    if (!path || !*path) return false;
    m_file = std::fopen(path, "wb");
    m_writeFailed = false;
    return m_file != nullptr;
}

bool CPcmSink::Close() {
    if (!m_file) return !m_writeFailed;
    // Buffered bytes reach the disk only here, so a full disk may first show now.
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed && !m_writeFailed;
}

void CPcmSink::SetTarget(LONG windowStartMs, LONG windowEndMs, PcmDataCallback callback, BRIVANE_USER user) {
    m_windowStartMs = windowStartMs;
    m_windowEndMs = windowEndMs;
    m_callback = callback;
    m_user = user;
    m_position = 0;
}

void CPcmSink::SetFormat(const WAVEFORMATEX &format) {
    m_format = format;
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nBlockAlign = WORD(m_format.nChannels * m_format.wBitsPerSample / 8);
    m_format.nAvgBytesPerSec = m_format.nSamplesPerSec * m_format.nBlockAlign;
    if (m_callback) Notify(BRIVANE_PCM_FORMAT, &m_format, sizeof(m_format));
    if (m_windowStartMs < 0 || m_windowEndMs <= 0) return;
    const DWORD start = MsToSamples(DWORD(m_windowStartMs));
    const DWORD end = MsToSamples(DWORD(m_windowEndMs));
    if (start != kNoWindow && end != kNoWindow && end > start) {
        const DWORD width = m_format.wBitsPerSample / 8;
        m_startByte = width * start;
        m_endByte = width * end;
    } else if (m_callback) {
        Notify(BRIVANE_PCM_WINDOW_REJECTED, nullptr, 0);
    }
}

DWORD CPcmSink::MsToSamples(DWORD ms) const {
    const DWORD width = m_format.wBitsPerSample / 8;
    const DWORD rate = m_format.nAvgBytesPerSec;
    if (LONG(rate) <= 0 || width == 0) return kNoWindow;
    const DWORD bytes = (ms / 1000) * rate + DWORD((uint64_t(ms % 1000) * rate + 500) / 1000);
    return (bytes + width / 2) / width;
}

LONG CPcmSink::Write(const BYTE *bytes, LONG count, BOOL isHeader) {
    if (!bytes || count <= 0) return -1;
    if (m_callback) return isHeader ? 0 : WriteToCallback(bytes, count);
    if (!isHeader) {
        m_position += DWORD(count);
        if (!m_file) return -1;
        m_dataBytes += DWORD(count);
    } else if (!m_file) {
        return -1;
    }
    const size_t written = std::fwrite(bytes, 1, size_t(count), m_file);
    if (written != size_t(count)) m_writeFailed = true;
    return LONG(written);
}

LONG CPcmSink::WriteToCallback(const BYTE *bytes, LONG count) {
    const uint64_t runStart = m_position;
    const uint64_t runEnd = runStart + DWORD(count);
    m_position += DWORD(count);
    if (m_startByte == kNoWindow && m_endByte == kNoWindow) {
        m_dataBytes += DWORD(count);
        Notify(BRIVANE_PCM_DATA, bytes, DWORD(count));
        return 0;
    }
    if (m_startByte >= runEnd || m_endByte <= runStart) return 0;
    const DWORD from = DWORD(std::max<uint64_t>(m_startByte, runStart) - runStart);
    const DWORD to = DWORD(std::min<uint64_t>(m_endByte, runEnd) - runStart);
    m_dataBytes += to - from;
    Notify(BRIVANE_PCM_DATA, bytes + from, to - from);
    return 0;
}

bool CPcmSink::Finish(bool final) {
    if (final && m_callback) Notify(BRIVANE_PCM_END, nullptr, 0);
    if (m_file && std::fseek(m_file, 0, SEEK_SET) != 0) return false;
    BYTE header[kHeaderBytes];
    BuildHeader(header);
    Write(header, kHeaderBytes, TRUE);
    return !m_writeFailed;
}

bool CPcmSink::IsComplete() const { return m_endByte != kNoWindow && m_callback && m_position >= m_endByte; }

void CPcmSink::Notify(DWORD code, const void *data, DWORD length) {
    if (m_callbackFaulted) return;
    const PcmDataCallback callback = m_callback;
    const BRIVANE_USER user = m_user;
    // The export that decodes holds the library lock for this callback, which runs on the reader's thread.
    CLibraryLockLoan loan;
    const DWORD fault = RunGuarded([&] { callback(0, user, code, data, length); });
    if (!fault) return;
    m_callbackFaulted = true;
    DebugPrintf("PcmDataCallback, Exception: 0X%X, %d", static_cast<unsigned>(fault), static_cast<int>(code));
}

void CPcmSink::BuildHeader(BYTE (&header)[kHeaderBytes]) const {
    PutTag(header, "RIFF");
    Put32(header + 4, m_dataBytes + 36);
    PutTag(header + 8, "WAVE");
    PutTag(header + 12, "fmt ");
    Put32(header + 16, 16);
    Put16(header + 20, m_format.wFormatTag);
    Put16(header + 22, m_format.nChannels);
    Put32(header + 24, m_format.nSamplesPerSec);
    Put32(header + 28, m_format.nAvgBytesPerSec);
    Put16(header + 32, m_format.nBlockAlign);
    Put16(header + 34, m_format.wBitsPerSample);
    PutTag(header + 36, "data");
    Put32(header + 40, m_dataBytes);
}
