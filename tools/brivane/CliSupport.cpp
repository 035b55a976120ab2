#include "CliSupport.h"

#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "SpeechProfile.h"
#include "WidePath.h"

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
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text->push_back(static_cast<BRIVANE_WCHAR>(static_cast<unsigned char>(bytes[i]) |
                                                       (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    } else {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        *text = WidePath(bytes.c_str());
    }
    return !text->empty();
}

bool IsTerminal(std::FILE *stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}
