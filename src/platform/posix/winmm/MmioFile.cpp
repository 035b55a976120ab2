// The RIFF file functions over stdio. Positions are kept in 64 bits, so no chunk size can wrap an
// offset around, every search moves forward by at least a chunk header, and a size that runs past
// the parent chunk or the file only ends the search: nothing is ever read from outside the file.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "HandleRegistry.h"
#include "winmm.h"

namespace posix {
namespace {

constexpr uint64_t kChunkHeader = 8;
constexpr uint64_t kFormType = 4;
constexpr uint64_t kLastOffset = 0xFFFFFFFFu;

DWORD LittleEndian(const BYTE *bytes) {
    return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

class CMmioFile {
public:
    explicit CMmioFile(FILE *file) : m_file(file) {}
    ~CMmioFile() { std::fclose(m_file); }
    CMmioFile(const CMmioFile &) = delete;
    CMmioFile &operator=(const CMmioFile &) = delete;

    LONG Read(HPSTR buffer, LONG count) {
        if (count <= 0 || !buffer) return count == 0 ? 0 : -1;
        const size_t read = std::fread(buffer, 1, size_t(count), m_file);
        return read < size_t(count) && std::ferror(m_file) ? -1 : LONG(read);
    }

    LONG Seek(LONG offset, int origin) {
        int64_t base;
        int64_t step = offset;
        switch (origin) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = Position(); break;
        // Windows counts an offset from the end backwards: SEEK_END with 16 lands 16 bytes before it.
        case SEEK_END:
            base = Size();
            step = -step;
            break;
        default: return -1;
        }
        const int64_t target = base + step;
        if (base < 0 || target < 0 || target > 0x7FFFFFFF || !SeekTo(uint64_t(target))) return -1;
        return LONG(target);
    }

    MMRESULT Descend(LPMMCKINFO chunk, const MMCKINFO *parent, UINT flags) {
        const int64_t start = Position();
        if (start < 0) return MMIOERR_CANNOTSEEK;
        uint64_t end = UINT64_MAX;
        if (parent) {
            end = uint64_t(parent->dwDataOffset) + parent->cksize;
            if (uint64_t(start) < parent->dwDataOffset || uint64_t(start) >= end) return MMIOERR_CHUNKNOTFOUND;
        }
        FOURCC wantedId = chunk->ckid;
        FOURCC wantedType = 0;
        if (flags & (MMIO_FINDRIFF | MMIO_FINDLIST)) {
            wantedId = flags & MMIO_FINDRIFF ? FOURCC_RIFF : FOURCC_LIST;
            wantedType = chunk->fccType;
        }
        const bool search = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
        for (uint64_t at = uint64_t(start);;) {
            MMCKINFO found = *chunk;
            if (!ReadHeader(at, end, found)) {
                SeekTo(uint64_t(start));
                return MMIOERR_CHUNKNOTFOUND;
            }
            if (!search || (found.ckid == wantedId && (wantedType == 0 || found.fccType == wantedType))) {
                const bool form = found.ckid == FOURCC_RIFF || found.ckid == FOURCC_LIST;
                if (!SeekTo(found.dwDataOffset + (form ? kFormType : 0))) return MMIOERR_CANNOTSEEK;
                *chunk = found;
                return MMSYSERR_NOERROR;
            }
            at = found.dwDataOffset + uint64_t(found.cksize) + (found.cksize & 1);
        }
    }

    // A chunk opened for reading only needs the position after its data and pad byte.
    MMRESULT Ascend(LPMMCKINFO chunk) {
        const uint64_t next = uint64_t(chunk->dwDataOffset) + chunk->cksize + (chunk->cksize & 1);
        return SeekTo(next) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
    }

private:
    int64_t Position() { return int64_t(ftello(m_file)); }

    int64_t Size() {
        struct stat status;
        return fstat(fileno(m_file), &status) == 0 ? int64_t(status.st_size) : -1;
    }

    bool SeekTo(uint64_t position) {
        return position <= uint64_t(INT64_MAX) && fseeko(m_file, off_t(position), SEEK_SET) == 0;
    }

    // The chunk header at `at`, with its form type for RIFF and LIST chunks: false when it does not
    // lie whole inside `end` and the file, or its data would start past what a DWORD can say.
    bool ReadHeader(uint64_t at, uint64_t end, MMCKINFO &found) {
        BYTE bytes[kChunkHeader + kFormType];
        if (at + kChunkHeader > end || at + kChunkHeader > kLastOffset || !SeekTo(at) ||
            std::fread(bytes, 1, kChunkHeader, m_file) != kChunkHeader)
            return false;
        found.ckid = LittleEndian(bytes);
        found.cksize = LittleEndian(bytes + 4);
        found.dwDataOffset = DWORD(at + kChunkHeader);
        found.dwFlags = 0;
        if (found.ckid == FOURCC_RIFF || found.ckid == FOURCC_LIST) {
            if (at + kChunkHeader + kFormType > end ||
                std::fread(bytes + kChunkHeader, 1, kFormType, m_file) != kFormType)
                return false;
            found.fccType = LittleEndian(bytes + kChunkHeader);
        }
        return true;
    }

    FILE *const m_file;
};

using CRegistry = CHandleRegistry<CMmioFile>;

MMRESULT OpenFailure(int error) {
    switch (error) {
    case ENOENT: return MMIOERR_FILENOTFOUND;
    case ENOTDIR: return MMIOERR_PATHNOTFOUND;
    case EACCES:
    case EISDIR: return MMIOERR_ACCESSDENIED;
    default: return MMIOERR_CANNOTOPEN;
    }
}

// Opens for reading; MMIO_ALLOCBUF asks for stdio's buffering, of the size the caller gives.
MMRESULT Open(LPCSTR path, const MMIOINFO *info, DWORD flags, HMMIO &hmmio) {
    if (info && (info->fccIOProc || info->pIOProc || info->pchBuffer)) return MMSYSERR_NOTSUPPORTED;
    if ((flags & ~(MMIO_RWMODE | MMIO_SHAREMODE | MMIO_ALLOCBUF)) || (flags & MMIO_RWMODE) != MMIO_READ)
        return MMSYSERR_NOTSUPPORTED;
    if (!path) return MMIOERR_CANNOTOPEN;
    FILE *file = std::fopen(path, "rb");
    if (!file) return OpenFailure(errno);
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return MMIOERR_ACCESSDENIED;
    }
    const LONG bufferSize = info && info->cchBuffer > 0 ? info->cchBuffer : MMIO_DEFAULTBUFFER;
    std::setvbuf(file, nullptr, (flags & MMIO_ALLOCBUF) ? _IOFBF : _IONBF, size_t(bufferSize));
    hmmio = reinterpret_cast<HMMIO>(CRegistry::Instance().Add(std::make_shared<CMmioFile>(file)));
    return MMSYSERR_NOERROR;
}

}  // namespace
}  // namespace posix

HMMIO mmioOpenA(LPSTR fileName, LPMMIOINFO info, DWORD flags) {
    HMMIO hmmio = nullptr;
    const MMRESULT result = posix::Open(fileName, info, flags, hmmio);
    if (info) {
        info->wErrorRet = result;
        info->hmmio = hmmio;
    }
    return hmmio;
}

MMRESULT mmioClose(HMMIO hmmio, UINT) {
    if (!posix::CRegistry::Instance().Find(hmmio)) return MMSYSERR_INVALHANDLE;
    posix::CRegistry::Instance().Remove(hmmio);
    return MMSYSERR_NOERROR;
}

LONG mmioRead(HMMIO hmmio, HPSTR buffer, LONG count) {
    const auto file = posix::CRegistry::Instance().Find(hmmio);
    return file ? file->Read(buffer, count) : -1;
}

LONG mmioSeek(HMMIO hmmio, LONG offset, int origin) {
    const auto file = posix::CRegistry::Instance().Find(hmmio);
    return file ? file->Seek(offset, origin) : -1;
}

MMRESULT mmioDescend(HMMIO hmmio, LPMMCKINFO chunk, const MMCKINFO *parent, UINT flags) {
    if (!chunk) return MMSYSERR_INVALPARAM;
    const auto file = posix::CRegistry::Instance().Find(hmmio);
    return file ? file->Descend(chunk, parent, flags) : MMSYSERR_INVALHANDLE;
}

MMRESULT mmioAscend(HMMIO hmmio, LPMMCKINFO chunk, UINT) {
    if (!chunk) return MMSYSERR_INVALPARAM;
    const auto file = posix::CRegistry::Instance().Find(hmmio);
    return file ? file->Ascend(chunk) : MMSYSERR_INVALHANDLE;
}
