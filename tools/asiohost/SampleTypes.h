// The ASIO sample types our host can drive, with the buffer layout and width of each.
#pragma once

#include "LoopbackSignal.h"
#include "asio/AsioInterface.h"

namespace asiohost {

struct SampleTypeRow {
    ASIOSampleType type;
    SampleLayout layout;
    int bits;
};

inline const SampleTypeRow* findSampleType(ASIOSampleType type) {
    static constexpr SampleTypeRow kTypes[] = {
        {ASIOSTInt16LSB, SampleLayout::Int16, 16},
        {ASIOSTInt24LSB, SampleLayout::Int24, 24},
        {ASIOSTInt32LSB, SampleLayout::Int32, 32},
    };
    for (const SampleTypeRow& row : kTypes)
        if (row.type == type)
            return &row;
    return nullptr;
}

} // namespace asiohost
