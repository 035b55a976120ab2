// Code-page conversion. The system code page is UTF-8, so both code pages this platform knows
// convert between UTF-8 and UTF-16; ill-formed input becomes U+FFFD (one per maximal ill-formed
// subpart, as Unicode recommends) unless the caller asks for an error.
#include <cstring>

#include "kernel32.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Counts the output units and stores those that fit; Overflowed() once some did not.
template <class Unit>
class COutput {
public:
    COutput(Unit *target, int capacity) : m_target(target), m_capacity(capacity) {}
    void Put(Unit unit) {
        if (m_target && m_count < m_capacity) m_target[m_count] = unit;
        ++m_count;
    }
    int Count() const { return m_count; }
    bool Overflowed() const { return m_target && m_count > m_capacity; }

private:
    Unit *m_target;
    int m_capacity;
    int m_count = 0;
};

void PutUtf16(COutput<WCHAR> &out, char32_t c) {
    if (c < 0x10000) {
        out.Put(WCHAR(c));
    } else {
        c -= 0x10000;
        out.Put(WCHAR(0xD800 + (c >> 10)));
        out.Put(WCHAR(0xDC00 + (c & 0x3FF)));
    }
}

void PutUtf8(COutput<CHAR> &out, char32_t c) {
    if (c < 0x80) {
        out.Put(CHAR(c));
    } else if (c < 0x800) {
        out.Put(CHAR(0xC0 | (c >> 6)));
        out.Put(CHAR(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.Put(CHAR(0xE0 | (c >> 12)));
        out.Put(CHAR(0x80 | ((c >> 6) & 0x3F)));
        out.Put(CHAR(0x80 | (c & 0x3F)));
    } else {
        out.Put(CHAR(0xF0 | (c >> 18)));
        out.Put(CHAR(0x80 | ((c >> 12) & 0x3F)));
        out.Put(CHAR(0x80 | ((c >> 6) & 0x3F)));
        out.Put(CHAR(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at s[i], advancing i; false for an ill-formed one.
bool NextUtf8(const unsigned char *s, int length, int &i, char32_t &c) {
    const unsigned char lead = s[i++];
    if (lead < 0x80) {
        c = lead;
        return true;
    }
    int trailing;
    unsigned char low = 0x80, high = 0xBF;  // the range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        c = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        c = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return false;
    }
    for (; trailing > 0; --trailing) {
        if (i >= length || s[i] < low || s[i] > high) return false;
        c = (c << 6) | (s[i++] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return true;
}

// Decodes one UTF-16 code point at s[i], advancing i; false for an unpaired surrogate.
bool NextUtf16(LPCWSTR s, int length, int &i, char32_t &c) {
    c = s[i++];
    if (c < 0xD800 || c > 0xDFFF) return true;
    if (c > 0xDBFF || i >= length || s[i] < 0xDC00 || s[i] > 0xDFFF) return false;
    c = 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00);
    return true;
}

bool KnownCodePage(UINT codePage) {
    if (codePage == CP_ACP || codePage == CP_UTF8) return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

bool ValidBuffers(const void *source, int sourceLength, const void *target, int targetLength) {
    if (source && sourceLength != 0 && targetLength >= 0 && (target || targetLength == 0) && source != target)
        return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

template <class Unit>
int Finish(const COutput<Unit> &out, bool illFormed) {
    if (illFormed) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (out.Overflowed()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return out.Count();
}

}  // namespace

UINT GetACP(void) { return CP_UTF8; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR target, int targetLength) {
    if (!KnownCodePage(codePage) || !ValidBuffers(source, sourceLength, target, targetLength)) return 0;
    if (flags & ~MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    // Any negative length means zero-terminated, the terminator converted too.
    const int length = sourceLength < 0 ? int(std::strlen(source)) + 1 : sourceLength;
    const auto *bytes = reinterpret_cast<const unsigned char *>(source);
    COutput<WCHAR> out(targetLength ? target : nullptr, targetLength);
    bool illFormed = false;
    for (int i = 0; i < length && !illFormed;) {
        char32_t c;
        if (!NextUtf8(bytes, length, i, c)) {
            illFormed = (flags & MB_ERR_INVALID_CHARS) != 0;
            c = kReplacement;
        }
        PutUtf16(out, c);
    }
    return Finish(out, illFormed);
}

// Every code point has a UTF-8 form, so a default character is never used: Windows refuses one for
// UTF-8, and the system code page is UTF-8 here.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceLength, LPSTR target, int targetLength,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!KnownCodePage(codePage) || !ValidBuffers(source, sourceLength, target, targetLength)) return 0;
    if (defaultChar || usedDefaultChar) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & ~WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const int length = sourceLength < 0 ? lstrlenW(source) + 1 : sourceLength;
    COutput<CHAR> out(targetLength ? target : nullptr, targetLength);
    bool illFormed = false;
    for (int i = 0; i < length && !illFormed;) {
        char32_t c;
        if (!NextUtf16(source, length, i, c)) {
            illFormed = (flags & WC_ERR_INVALID_CHARS) != 0;
            c = kReplacement;
        }
        PutUtf8(out, c);
    }
    return Finish(out, illFormed);
}

int lstrlenW(LPCWSTR s) {
    int length = 0;
    if (s) {
        while (s[length]) ++length;
    }
    return length;
}

int lstrlenA(LPCSTR s) { return s ? int(std::strlen(s)) : 0; }
