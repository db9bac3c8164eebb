// The USB identity in a device path: "VID_xxxx", "PID_xxxx" and "MI_xx".
#include "UsbAudioDevice.h"

#include <cstring>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The number after `marker`, from at most `digits` hexadecimal characters, stopping at the
// first that is not one; left alone when fewer than `digits` characters follow the marker.
bool readMarked(const char* text, const char* marker, size_t digits, WORD* value) {
    const char* at = std::strstr(text, marker);
    if (at == nullptr)
        return false;
    at += std::strlen(marker);
    if (strnlen(at, digits) < digits)
        return true;
    unsigned number = 0;
    for (size_t i = 0; i < digits && hexDigit(at[i]) >= 0; ++i)
        number = number * 16 + static_cast<unsigned>(hexDigit(at[i]));
    if (value != nullptr)
        *value = static_cast<WORD>(number);
    return true;
}

} // namespace

bool CUsbAudioDevice::ParseVidPidMi(char* text, WORD* vid, WORD* pid, WORD* mi) {
    for (WORD* field : {vid, pid, mi}) {
        if (field != nullptr)
            *field = 255;
    }
    if (text == nullptr)
        return false;
    CharUpperA(text);
    if (!readMarked(text, "VID_", 4, vid))
        return false;
    readMarked(text, "PID_", 4, pid);
    return readMarked(text, "MI_", 2, mi);
}
