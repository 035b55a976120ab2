// PCM format records and RIFF WAVE files built byte by byte for the unit suites, and files written whole.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"

typedef std::vector<BYTE> Bytes;

// A format record whose block align and byte rate follow from its channels, rate and bits.
inline WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits, WORD tag = WAVE_FORMAT_PCM, WORD cbSize = 0) {
    const WORD align = WORD(channels * bits / 8);
    return WAVEFORMATEX{tag, channels, rate, rate * align, align, bits, cbSize};
}

inline void PutLe(Bytes &out, DWORD value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(BYTE(value >> (8 * i)));
}

const DWORD kTrueSize = 0xFFFFFFFF;

// A chunk declaring its body's size unless told another, padded to an even length.
inline Bytes Chunk(const char *id, const Bytes &body, DWORD declared = kTrueSize) {
    Bytes out(id, id + 4);
    PutLe(out, declared == kTrueSize ? DWORD(body.size()) : declared, 4);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}

inline Bytes Riff(const std::vector<Bytes> &chunks, const char *form = "WAVE", DWORD declared = kTrueSize) {
    Bytes body(form, form + 4);
    for (const Bytes &chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
    return Chunk("RIFF", body, declared);
}

// The record's first size bytes, zeros past its 18, as a "fmt " chunk.
inline Bytes FmtChunk(const WAVEFORMATEX &format, size_t size = 16) {
    Bytes body(reinterpret_cast<const BYTE *>(&format), reinterpret_cast<const BYTE *>(&format) + 18);
    body.resize(size, 0);
    return Chunk("fmt ", body);
}

inline Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// The file with another id in place of its first four bytes.
inline Bytes Renamed(Bytes file, const char *id) {
    for (int i = 0; i < 4; ++i) file[size_t(i)] = BYTE(id[i]);
    return file;
}

// The whole file; empty when it cannot be read.
inline Bytes ReadBytes(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Writes the bytes as the whole file; false when that fails.
inline bool WriteBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream file(path, std::ios::binary);
    return bool(file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size())).flush());
}
