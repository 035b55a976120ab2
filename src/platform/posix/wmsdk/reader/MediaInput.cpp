#include "MediaInput.h"

#include <cerrno>
#include <climits>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kernel32.h"
#include "nserror.h"

namespace posix {
namespace {

// The end-of-file error memory streams give as an HRESULT.
const HRESULT kEndOfFile = HRESULT_FROM_WIN32(38L);

class CFileInput final : public CMediaInput {
public:
    CFileInput(int fd, int64_t size) : m_fd(fd), m_openSize(size) {}
    ~CFileInput() override { ::close(m_fd); }

    int Read(uint8_t *data, int size) override {
        for (;;) {
            const ssize_t got = ::read(m_fd, data, size_t(size));
            // Nothing left before the size the file had when opened: it was cut short while in use.
            if (got == 0 && size > 0 && ::lseek(m_fd, 0, SEEK_CUR) < off_t(m_openSize)) return -1;
            if (got >= 0) return int(got);
            if (errno != EINTR) return -1;
        }
    }

    bool Seek(int64_t position) override { return ::lseek(m_fd, off_t(position), SEEK_SET) == off_t(position); }

    int64_t Size() override {
        struct stat info;
        return ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) ? int64_t(info.st_size) : -1;
    }

private:
    const int m_fd;
    const int64_t m_openSize;
};

// Reads and seeks only from the start, as the runtime does, since hosts' streams may implement
// little more.
class CStreamInput final : public CMediaInput {
public:
    explicit CStreamInput(ComPtr<IStream> stream) : m_stream(std::move(stream)) {}

    int Read(uint8_t *data, int size) override {
        ULONG got = 0;
        const HRESULT hr = m_stream->Read(data, ULONG(size), &got);
        if (got > ULONG(size)) return -1;
        if (got > 0) return int(got);
        return SUCCEEDED(hr) || hr == kEndOfFile ? 0 : -1;
    }

    bool Seek(int64_t position) override {
        LARGE_INTEGER move;
        move.QuadPart = position;
        return SUCCEEDED(m_stream->Seek(move, STREAM_SEEK_SET, nullptr));
    }

    int64_t Size() override {
        STATSTG stat = {};
        if (FAILED(m_stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > uint64_t(INT64_MAX)) return -1;
        return int64_t(stat.cbSize.QuadPart);
    }

private:
    ComPtr<IStream> m_stream;
};

HRESULT OpenError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return NS_E_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return E_ACCESSDENIED;
    case ENOMEM: return E_OUTOFMEMORY;
    default: return NS_E_FILE_OPEN_FAILED;
    }
}

}  // namespace

HRESULT CMediaInput::OpenFile(LPCWSTR path, std::unique_ptr<CMediaInput> &input, std::string &name) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return NS_E_FILE_NOT_FOUND;
    name.assign(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path, -1, &name[0], length, nullptr, nullptr);
    name.resize(size_t(length - 1));
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return OpenError(errno);
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return NS_E_FILE_OPEN_FAILED;
    }
    input.reset(new CFileInput(fd, int64_t(info.st_size)));
    return S_OK;
}

std::unique_ptr<CMediaInput> CMediaInput::FromStream(ComPtr<IStream> stream) {
    return std::unique_ptr<CMediaInput>(new CStreamInput(std::move(stream)));
}

}  // namespace posix
