#include "CliSupport.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "SpeechProfile.h"
#include "HostOs.h"

namespace {

bool ReadFile(const char *path, std::string *bytes) {
    std::FILE *file = std::fopen(path, "rb");
    if (!file) return false;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes->append(block, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

}  // namespace

bool LoadProfile(const char *path, WideText *text) {
    std::string bytes;
    if (!path)
        bytes = kSpeechProfile;
    else if (!ReadFile(path, &bytes))
        return false;
    text->clear();
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text->push_back(static_cast<BRIVANE_WCHAR>(static_cast<unsigned char>(bytes[i]) |
                                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    } else {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        *text = WidePath(bytes.c_str());
    }
    return !text->empty();
}

int MeterLevel(const BrivaneWaveFormat &format, const void *data, uint32_t size, int width) {
    const unsigned char *bytes = static_cast<const unsigned char *>(data);
    int peak = 0;
    if (format.wBitsPerSample == 8) {
        for (uint32_t i = 0; i < size; ++i) peak = std::max(peak, std::abs(int(bytes[i]) - 128) * 256);
    } else if (format.wBitsPerSample >= 16) {
        const uint32_t step = format.wBitsPerSample / 8;
        // The most significant two bytes of each little-endian sample.
        for (uint32_t i = step - 2; i + 1 < size; i += step)
            peak = std::max(peak, std::abs(int(int16_t(bytes[i] | (bytes[i + 1] << 8)))));
    }
    return std::min(width, peak * width / 32768);
}

void DrawStatusLine(std::FILE *stream, const char *text, int level, int width) {
    std::string meter(static_cast<size_t>(width), ' ');
    for (int i = 0; i < level && i < width; ++i) meter[static_cast<size_t>(i)] = '|';
    // Carriage return and erase to the end of the line: the line is redrawn in place.
    std::fprintf(stream, "\r%s  [%s]\033[K", text, meter.c_str());
    std::fflush(stream);
}

std::string ClockText(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%03u", unsigned(ms / 60000), unsigned(ms / 1000 % 60),
                  unsigned(ms % 1000));
    return text;
}
