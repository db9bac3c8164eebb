#include "FormatText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const FormatRow kFormatRows[8] = {
    {16, 32000}, {16, 44100}, {16, 48000}, {16, 96000},
    {24, 32000}, {24, 44100}, {24, 48000}, {24, 96000},
};

void FormatText(int bits, unsigned rate, char* text, size_t capacity) {
    if (text == nullptr || capacity == 0)
        return;
    const int shownBits = bits == kWireBits24 ? 24 : bits;
    std::snprintf(text, capacity < 64 ? capacity : 64, "%d bit, %d Hz", shownBits,
                  static_cast<int>(rate));
}

namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The entries are ASCII and compared without a locale: Windows 2000 has none that stands for
// no language (LOCALE_INVARIANT came with XP), and no language's rules have a say here.
bool BeginsWithAuto(const char* text) {
    for (size_t i = 0; i < 4; ++i) {
        if (AsciiUpper(text[i]) != AsciiUpper(kAutoFormatText[i]))
            return false; // a shorter text ends in its terminator, which matches no letter
    }
    return true;
}

} // namespace

bool ParseFormatText(const char* text, int& bits, unsigned& rate) {
    if (text == nullptr)
        return false;
    char compact[64] = {};
    size_t length = 0;
    for (const char* p = text; *p != '\0' && length < sizeof(compact) - 1; ++p) {
        if (*p != ' ')
            compact[length++] = *p;
    }
    if (BeginsWithAuto(compact)) {
        bits = 0;
        rate = 0;
        return true;
    }
    if (length < 4)
        return false;
    const char* bit = std::strstr(compact, "bit");
    if (bit == nullptr)
        return false;
    const char* comma = std::strstr(compact, "t,");
    if (comma == nullptr || std::strlen(comma) < 7)
        return false;
    const char* hz = std::strstr(comma, "Hz");
    if (hz == nullptr)
        return false;
    // The number just before "bit": walk back over its digits.
    const char* digits = bit;
    while (digits > compact && digits[-1] >= '0' && digits[-1] <= '9')
        --digits;
    bits = static_cast<unsigned char>(std::atoi(digits));
    rate = static_cast<unsigned>(std::strtoul(comma + 2, nullptr, 10));
    return true;
}
