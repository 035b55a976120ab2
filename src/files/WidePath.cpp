#include "files/WidePath.h"

#include <new>

bool WidenPath(LPCSTR path, std::vector<WCHAR> &wide) {
    wide.clear();
    if (!path) return true;
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return false;
    try {
        wide.assign(static_cast<size_t>(length), 0);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length) == length;
}
