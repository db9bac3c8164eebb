// The texts of the format lists: "16 bit, 44100 Hz" entries and "Auto", and the way back.
#pragma once

#include "cpl/device/DeviceWireRecords.h"

#include <cstddef>

constexpr char kAutoFormatText[] = "Auto";
constexpr char kInactiveText[] = "Inactive ---";

struct FormatRow {
    int bits;
    unsigned rate;
};
// The formats offered for each direction, in list order after "Auto".
extern const FormatRow kFormatRows[8];

// "%d bit, %d Hz"; 32 bits (the device's form of 24-bit audio) is written as 24.
void FormatText(int bits, unsigned rate, char* text, size_t capacity);
// Reads an entry back: "Auto" gives bits 0 and rate 0. False for any other text.
bool ParseFormatText(const char* text, int& bits, unsigned& rate);
