#include "WmProfileParser.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <pugixml.hpp>

#include "kernel32.h"

namespace posix {

namespace {

// Real profiles, even with many video streams, stay far below this.
const size_t kMaxProfileChars = 65536;
const size_t kMaxCodecDataBytes = 1024;

bool SameName(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// Profiles come from many tools: element and attribute names are matched without regard to case.
const char *Attribute(const pugi::xml_node &node, const char *name) {
    for (const pugi::xml_attribute &attribute : node.attributes())
        if (SameName(attribute.name(), name)) return attribute.value();
    return nullptr;
}

pugi::xml_node Child(const pugi::xml_node &node, const char *name) {
    for (const pugi::xml_node &child : node.children())
        if (child.type() == pugi::node_element && SameName(child.name(), name)) return child;
    return pugi::xml_node();
}

bool ParseNumber(const char *text, long long min, long long max, long long &value) {
    if (!text) return false;
    while (*text == ' ' || *text == '\t') ++text;
    if (!*text || !(*text == '-' || (*text >= '0' && *text <= '9'))) return false;
    char *end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    while (*end == ' ' || *end == '\t') ++end;
    if (errno || *end || parsed < min || parsed > max) return false;
    value = parsed;
    return true;
}

// A required number in [min, max].
bool Number(const pugi::xml_node &node, const char *name, long long min, long long max, long long &value) {
    return ParseNumber(Attribute(node, name), min, max, value);
}

// An optional number: absent leaves the default, present must be in range.
bool OptionalNumber(const pugi::xml_node &node, const char *name, long long min, long long max, long long &value) {
    const char *text = Attribute(node, name);
    return !text || !*text || ParseNumber(text, min, max, value);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(const char *text, size_t count, BYTE *bytes) {
    for (size_t i = 0; i < count; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = high < 0 ? -1 : HexDigit(text[2 * i + 1]);
        if (low < 0) return false;
        bytes[i] = BYTE(high << 4 | low);
    }
    return true;
}

// "{73647561-0000-0010-8000-00AA00389B71}", braces optional.
bool ParseGuid(const char *text, GUID &guid) {
    if (!text) return false;
    const size_t length = std::strlen(text);
    const bool braces = length == 38 && text[0] == '{' && text[37] == '}';
    if (!braces && length != 36) return false;
    const char *p = braces ? text + 1 : text;
    if (p[8] != '-' || p[13] != '-' || p[18] != '-' || p[23] != '-') return false;
    BYTE head[8];
    if (!ParseHexBytes(p, 4, head) || !ParseHexBytes(p + 9, 2, head + 4) || !ParseHexBytes(p + 14, 2, head + 6) ||
        !ParseHexBytes(p + 19, 2, guid.Data4) || !ParseHexBytes(p + 24, 6, guid.Data4 + 2))
        return false;
    guid.Data1 = DWORD(head[0]) << 24 | DWORD(head[1]) << 16 | DWORD(head[2]) << 8 | head[3];
    guid.Data2 = WORD(head[4] << 8 | head[5]);
    guid.Data3 = WORD(head[6] << 8 | head[7]);
    return true;
}

bool ParseFlag(const pugi::xml_node &node, const char *name, BOOL &flag) {
    const char *text = Attribute(node, name);
    if (!text || !*text) return true;
    if (SameName(text, "true") || SameName(text, "false")) {
        flag = SameName(text, "true");
        return true;
    }
    long long value = 0;
    if (!ParseNumber(text, 0, 1, value)) return false;
    flag = BOOL(value);
    return true;
}

std::u16string Wide(const char *utf8) {
    if (!utf8 || !*utf8) return std::u16string();
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1) return std::u16string();
    std::u16string text(size_t(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], length);
    text.resize(size_t(length - 1));
    return text;
}

bool ParseWaveFormat(const pugi::xml_node &node, WAVEFORMATEX &format, std::vector<BYTE> &extra) {
    long long tag = 0, channels = 0, rate = 0, bytesPerSecond = 0, blockAlign = 0, bits = 0;
    // Up to 7.1 sound, and the rates any Windows Media or PCM stream uses.
    if (!Number(node, "wFormatTag", 0, 0xFFFF, tag) || !Number(node, "nChannels", 1, 8, channels) ||
        !Number(node, "nSamplesPerSec", 1000, 192000, rate) ||
        !Number(node, "nAvgBytesPerSec", 0, 0x7FFFFFFF, bytesPerSecond) ||
        !Number(node, "nBlockAlign", 0, 0xFFFF, blockAlign) || !Number(node, "wBitsPerSample", 0, 32, bits))
        return false;
    format.wFormatTag = WORD(tag);
    format.nChannels = WORD(channels);
    format.nSamplesPerSec = DWORD(rate);
    format.nAvgBytesPerSec = DWORD(bytesPerSecond);
    format.nBlockAlign = WORD(blockAlign);
    format.wBitsPerSample = WORD(bits);
    const char *codecData = Attribute(node, "codecdata");
    const size_t digits = codecData ? std::strlen(codecData) : 0;
    if (digits % 2 || digits / 2 > kMaxCodecDataBytes) return false;
    extra.resize(digits / 2);
    return ParseHexBytes(codecData ? codecData : "", extra.size(), extra.data());
}

bool ParseMediaType(const pugi::xml_node &config, const GUID &major, CMediaType &type) {
    const pugi::xml_node node = Child(config, "wmmediatype");
    WM_MEDIA_TYPE record = {};
    std::vector<BYTE> block;
    if (major == WMMEDIATYPE_Audio) {
        WAVEFORMATEX format = {};
        std::vector<BYTE> extra;
        if (!node || !ParseWaveFormat(Child(node, "waveformatex"), format, extra)) return false;
        const CMediaType audio = CMediaType::Audio(format, extra.data(), WORD(extra.size()));
        record = audio.Record();
        block = audio.Format();
    } else {
        record.majortype = major;
    }
    long long sampleSize = record.lSampleSize;
    if (node && (!ParseFlag(node, "bfixedsizesamples", record.bFixedSizeSamples) ||
                 !ParseFlag(node, "btemporalcompression", record.bTemporalCompression) ||
                 !OptionalNumber(node, "lsamplesize", 0, 0xFFFFFFFFll, sampleSize)))
        return false;
    record.lSampleSize = ULONG(sampleSize);
    const char *subtype = node ? Attribute(node, "subtype") : nullptr;
    if (subtype && !ParseGuid(subtype, record.subtype)) return false;
    record.cbFormat = ULONG(block.size());
    record.pbFormat = block.empty() ? nullptr : block.data();
    return SUCCEEDED(type.Assign(&record));
}

bool ParseStream(const pugi::xml_node &config, StreamSettings &stream) {
    GUID major = GUID_NULL;
    long long number = 0, bitrate = 0, window = -1;
    if (!ParseGuid(Attribute(config, "majortype"), major) || !Number(config, "streamnumber", 1, 63, number) ||
        !OptionalNumber(config, "bitrate", 0, 0xFFFFFFFFll, bitrate) ||
        !OptionalNumber(config, "bufferwindow", -1, 0x7FFFFFFF, window))
        return false;
    stream.number = WORD(number);
    stream.bitrate = DWORD(bitrate);
    // -1 asks for the default window, which the SDK stores as all bits set.
    stream.bufferWindowMs = DWORD(window);
    stream.name = Wide(Attribute(config, "streamname"));
    stream.connection = Wide(Attribute(config, "inputname"));
    return ParseMediaType(config, major, stream.type);
}

}  // namespace

HRESULT ParseProfile(const WCHAR *text, ProfileSettings &profile) {
    if (!text) return E_POINTER;
    size_t length = 0;
    while (text[length]) {
        if (++length > kMaxProfileChars) return E_INVALIDARG;
    }
    pugi::xml_document document;
    if (!document.load_buffer(text, length * sizeof(WCHAR), pugi::parse_default, pugi::encoding_utf16))
        return NS_E_INVALIDPROFILE;
    const pugi::xml_node root = document.document_element();
    long long version = WMT_VER_9_0;
    if (!SameName(root.name(), "profile") || !OptionalNumber(root, "version", 0, 0xFFFFF, version))
        return NS_E_INVALIDPROFILE;
    profile.version = WMT_VERSION(version);
    profile.name = Wide(Attribute(root, "name"));
    profile.description = Wide(Attribute(root, "description"));
    bool hasAudio = false;
    for (const pugi::xml_node &node : root.children()) {
        if (node.type() != pugi::node_element || !SameName(node.name(), "streamconfig")) continue;
        StreamSettings stream;
        if (!ParseStream(node, stream)) return NS_E_INVALIDPROFILE;
        for (const StreamSettings &other : profile.streams)
            if (other.number == stream.number) return NS_E_INVALIDPROFILE;
        hasAudio = hasAudio || stream.type.MajorType() == WMMEDIATYPE_Audio;
        profile.streams.push_back(std::move(stream));
    }
    return hasAudio ? S_OK : NS_E_INVALIDPROFILE;
}

}  // namespace posix
