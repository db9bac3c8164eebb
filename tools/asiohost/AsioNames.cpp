#include "AsioNames.h"

namespace asiohost {

namespace {

struct NameRow {
    long value;
    const char* name;
};

constexpr NameRow kErrors[] = {
    {ASE_OK, "ASE_OK"},
    {ASE_SUCCESS, "ASE_SUCCESS"},
    {ASE_NotPresent, "ASE_NotPresent"},
    {ASE_HWMalfunction, "ASE_HWMalfunction"},
    {ASE_InvalidParameter, "ASE_InvalidParameter"},
    {ASE_InvalidMode, "ASE_InvalidMode"},
    {ASE_SPNotAdvancing, "ASE_SPNotAdvancing"},
    {ASE_NoClock, "ASE_NoClock"},
    {ASE_NoMemory, "ASE_NoMemory"},
};

constexpr NameRow kSampleTypes[] = {
    {ASIOSTInt16MSB, "Int16MSB"},     {ASIOSTInt24MSB, "Int24MSB"},
    {ASIOSTInt32MSB, "Int32MSB"},     {ASIOSTFloat32MSB, "Float32MSB"},
    {ASIOSTFloat64MSB, "Float64MSB"}, {ASIOSTInt16LSB, "Int16LSB"},
    {ASIOSTInt24LSB, "Int24LSB"},     {ASIOSTInt32LSB, "Int32LSB"},
    {ASIOSTFloat32LSB, "Float32LSB"}, {ASIOSTFloat64LSB, "Float64LSB"},
};

constexpr NameRow kMessages[] = {
    {kAsioSelectorSupported, "kAsioSelectorSupported"},
    {kAsioEngineVersion, "kAsioEngineVersion"},
    {kAsioResetRequest, "kAsioResetRequest"},
    {kAsioBufferSizeChange, "kAsioBufferSizeChange"},
    {kAsioResyncRequest, "kAsioResyncRequest"},
    {kAsioLatenciesChanged, "kAsioLatenciesChanged"},
    {kAsioSupportsTimeInfo, "kAsioSupportsTimeInfo"},
    {kAsioSupportsTimeCode, "kAsioSupportsTimeCode"},
};

template <size_t N>
const char* find(const NameRow (&table)[N], long value) {
    for (const NameRow& row : table)
        if (row.value == value)
            return row.name;
    return nullptr;
}

} // namespace

std::string errorName(ASIOError code) {
    const char* name = find(kErrors, code);
    if (name == nullptr)
        return "error " + std::to_string(code);
    if (code == ASE_OK || code == ASE_SUCCESS)
        return name;
    return std::string(name) + " (" + std::to_string(code) + ")";
}

std::string sampleTypeName(ASIOSampleType type) {
    const char* name = find(kSampleTypes, type);
    return name != nullptr ? name : "type " + std::to_string(type);
}

std::string messageName(long selector) {
    const char* name = find(kMessages, selector);
    return name != nullptr ? name : "selector " + std::to_string(selector);
}

} // namespace asiohost
