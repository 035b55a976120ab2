#include "AsfHeader.h"

#include <cstring>

namespace posix {

namespace {

// The header object's own fields (GUID, size, object count, two reserved bytes) come first.
const size_t kHeaderObjectSize = 30;
// An object starts with its GUID and its 64-bit size.
const size_t kObjectPreamble = 24;
// In the file properties object: GUID, size, file id, file size, creation date, packet count, play
// and send durations, preroll, then the flags.
const size_t kFlagsOffset = 88;
const DWORD kBroadcastFlag = 1;
const BYTE kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                      0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

ULONGLONG ReadSize(const BYTE *bytes) {
    ULONGLONG value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

bool MarkAsfHeaderAsBroadcast(std::vector<BYTE> &header) {
    size_t offset = kHeaderObjectSize;
    while (offset + kObjectPreamble <= header.size()) {
        const ULONGLONG size = ReadSize(&header[offset + 16]);
        if (size < kObjectPreamble || size > header.size() - offset) return false;
        if (std::memcmp(&header[offset], kFilePropertiesGuid, sizeof(kFilePropertiesGuid)) == 0) {
            if (size < kFlagsOffset + 4) return false;
            for (size_t i = 0; i < 4; ++i) header[offset + kFlagsOffset + i] = BYTE(kBroadcastFlag >> (8 * i));
            return true;
        }
        offset += size_t(size);
    }
    return false;
}

}  // namespace posix
