// Files: POSIX descriptors behind kernel handles, so CloseHandle and the handle checks work as for
// every other kernel object. Paths arrive as UTF-16 and are opened as UTF-8; errors are the codes
// Windows gives for the same situation.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "HandleTable.h"
#include "KernelObject.h"
#include "kernel32.h"

namespace posix {
namespace {

static_assert(sizeof(off_t) == 8, "positions past 2 GiB need a 64-bit off_t (_FILE_OFFSET_BITS=64)");

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFAULT: return ERROR_NOACCESS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL:
    case ESPIPE:
    case EOVERFLOW: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

// Empty and null paths name nothing, as on Windows.
bool Utf8Path(LPCWSTR name, std::string &path) {
    if (!name || !name[0]) return false;
    const int length = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    path.assign(size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name, -1, &path[0], length, nullptr, nullptr);
    path.pop_back();
    return true;
}

// Windows tells a missing file in an existing directory from a missing directory on the way.
DWORD MissingError(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
    struct stat parent;
    const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    return ::stat(directory.c_str(), &parent) == 0 && S_ISDIR(parent.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                              : ERROR_PATH_NOT_FOUND;
}

DWORD OpenError(int error, const std::string &path) {
    return error == ENOENT ? MissingError(path) : ErrorFromErrno(error);
}

class CFile final : public CKernelObject {
public:
    CFile(int descriptor, DWORD access, DWORD type) : m_descriptor(descriptor), m_access(access), m_type(type) {}
    ~CFile() override { ::close(m_descriptor); }

    // No I/O is ever pending on a synchronous handle, so waiting on one returns at once.
    bool IsSignalled(Clock::time_point) override { return true; }

    DWORD Type() const { return m_type; }

    BOOL Read(LPVOID buffer, DWORD count, DWORD &done) {
        if (!(m_access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
        std::lock_guard<std::mutex> hold(m_ioLock);
        BYTE *bytes = static_cast<BYTE *>(buffer);
        while (done < count) {
            const ssize_t n = ::read(m_descriptor, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail(ErrorFromErrno(errno));
            done += DWORD(n);
            // Pipes and devices hand over what has arrived; only a disk file fills the request.
            if (n == 0 || m_type != FILE_TYPE_DISK) break;
        }
        return TRUE;
    }

    BOOL Write(LPCVOID buffer, DWORD count, DWORD &done) {
        if (!(m_access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
        std::lock_guard<std::mutex> hold(m_ioLock);
        const BYTE *bytes = static_cast<const BYTE *>(buffer);
        while (done < count) {
            const ssize_t n = ::write(m_descriptor, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
            done += DWORD(n);
        }
        return TRUE;
    }

    // The pointer stays where it was when the move fails; fit32 refuses positions of 4 GB and more.
    BOOL Move(LONGLONG distance, DWORD method, bool fit32, LONGLONG &position) {
        std::lock_guard<std::mutex> hold(m_ioLock);
        off_t base = 0;
        struct stat status;
        if (method == FILE_CURRENT) {
            base = ::lseek(m_descriptor, 0, SEEK_CUR);
            if (base < 0) return Fail(ErrorFromErrno(errno));
        } else if (method == FILE_END) {
            if (::fstat(m_descriptor, &status) != 0) return Fail(ErrorFromErrno(errno));
            base = status.st_size;
        } else if (method != FILE_BEGIN) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        LONGLONG target;
        if (__builtin_add_overflow(LONGLONG(base), distance, &target)) return Fail(ERROR_INVALID_PARAMETER);
        if (target < 0) return Fail(ERROR_NEGATIVE_SEEK);
        if (fit32 && target > LONGLONG(0xFFFFFFFF)) return Fail(ERROR_INVALID_PARAMETER);
        if (::lseek(m_descriptor, off_t(target), SEEK_SET) < 0) return Fail(ErrorFromErrno(errno));
        position = target;
        return TRUE;
    }

    BOOL Size(LONGLONG &size) {
        struct stat status;
        if (::fstat(m_descriptor, &status) != 0) return Fail(ErrorFromErrno(errno));
        size = status.st_size;
        return TRUE;
    }

private:
    static BOOL Fail(DWORD error) {
        SetLastError(error);
        return FALSE;
    }

    const int m_descriptor;
    const DWORD m_access;
    const DWORD m_type;
    std::mutex m_ioLock;
};

DWORD TypeOf(mode_t mode) {
    if (S_ISREG(mode) || S_ISBLK(mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE Open(LPCWSTR name, DWORD access, DWORD creation) {
    std::string path;
    if (!Utf8Path(name, path)) return Fail(ERROR_PATH_NOT_FOUND);
    int flags = O_RDONLY;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags = O_RDWR;
    else if (access & GENERIC_WRITE)
        flags = O_WRONLY;
    bool existed = false;
    if (creation == CREATE_ALWAYS) {
        struct stat status;
        existed = ::stat(path.c_str(), &status) == 0;
        flags |= O_CREAT | O_TRUNC;
    } else if (creation != OPEN_EXISTING) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // Not blocking on open: a pipe without a writer would otherwise hang here, not fail or succeed.
    const int descriptor = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (descriptor < 0) return Fail(OpenError(errno, path));
    struct stat status;
    const int statusFlags = ::fcntl(descriptor, F_GETFL);
    if (::fstat(descriptor, &status) != 0 || statusFlags < 0 ||
        ::fcntl(descriptor, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(descriptor);
        return Fail(ErrorFromErrno(error));
    }
    // Without backup semantics Windows opens no directory.
    if (S_ISDIR(status.st_mode)) {
        ::close(descriptor);
        return Fail(ERROR_ACCESS_DENIED);
    }
    HANDLE handle = CHandleTable::Insert(std::make_shared<CFile>(descriptor, access, TypeOf(status.st_mode)));
    if (!handle) return INVALID_HANDLE_VALUE;
    SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
}

// ReadFile and WriteFile: synchronous only, and the count is given back even when the transfer fails.
template <class Operation>
BOOL Transfer(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, Operation operation) {
    DWORD done = 0;
    const std::shared_ptr<CFile> object = FindObject<CFile>(file);
    BOOL ok = FALSE;
    if (object && overlapped)
        SetLastError(ERROR_INVALID_PARAMETER);
    else if (object)
        ok = operation(*object, done);
    if (transferred) *transferred = done;
    return ok;
}

}  // namespace
}  // namespace posix

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD creationDisposition,
                   DWORD, HANDLE) {
    return posix::Open(fileName, desiredAccess, creationDisposition);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
    return posix::Transfer(file, overlapped, bytesRead,
                           [&](posix::CFile &object, DWORD &done) { return object.Read(buffer, bytesToRead, done); });
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
    return posix::Transfer(file, overlapped, bytesWritten,
                           [&](posix::CFile &object, DWORD &done) { return object.Write(buffer, bytesToWrite, done); });
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, PLARGE_INTEGER newFilePointer, DWORD moveMethod) {
    std::shared_ptr<posix::CFile> object = posix::FindObject<posix::CFile>(file);
    LONGLONG position = 0;
    if (!object || !object->Move(distanceToMove.QuadPart, moveMethod, false, position)) return FALSE;
    if (newFilePointer) newFilePointer->QuadPart = position;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, LONG *distanceToMoveHigh, DWORD moveMethod) {
    // Without a high part the distance is a signed 32-bit number and the result must fit 32 bits.
    const LONGLONG distance = distanceToMoveHigh
                                  ? LONGLONG((ULONGLONG(DWORD(*distanceToMoveHigh)) << 32) | DWORD(distanceToMove))
                                  : LONGLONG(distanceToMove);
    std::shared_ptr<posix::CFile> object = posix::FindObject<posix::CFile>(file);
    LONGLONG position = 0;
    if (!object || !object->Move(distance, moveMethod, !distanceToMoveHigh, position)) return INVALID_SET_FILE_POINTER;
    if (distanceToMoveHigh) *distanceToMoveHigh = LONG(position >> 32);
    SetLastError(NO_ERROR);
    return DWORD(position);
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER fileSize) {
    std::shared_ptr<posix::CFile> object = posix::FindObject<posix::CFile>(file);
    LONGLONG size = 0;
    if (!object || !object->Size(size)) return FALSE;
    fileSize->QuadPart = size;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return INVALID_FILE_SIZE;
    if (fileSizeHigh) *fileSizeHigh = DWORD(size.QuadPart >> 32);
    SetLastError(NO_ERROR);
    return DWORD(size.QuadPart);
}

DWORD GetFileType(HANDLE file) {
    std::shared_ptr<posix::CFile> object = posix::FindObject<posix::CFile>(file);
    if (!object) return FILE_TYPE_UNKNOWN;
    SetLastError(NO_ERROR);
    return object->Type();
}

BOOL DeleteFileW(LPCWSTR fileName) {
    std::string path;
    if (!posix::Utf8Path(fileName, path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(posix::OpenError(errno, path));
        return FALSE;
    }
    return TRUE;
}
