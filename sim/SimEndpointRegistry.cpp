#include "SimEndpointRegistry.h"

#include "common/UniqueResource.h"

#include <mmreg.h>

#include <cstring>
#include <string>

namespace sim {

namespace {

constexpr size_t kFlowPrefixChars = 17;

std::wstring endpointKey(const wchar_t* endpointId, int flow) {
    std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\";
    key += flow == 0 ? L"Render\\" : L"Capture\\";
    const std::wstring id(endpointId);
    return key + (id.size() > kFlowPrefixChars ? id.substr(kFlowPrefixChars) : id);
}

std::vector<uint8_t> formatValue(DWORD rate, WORD bits) {
    WAVEFORMATEXTENSIBLE f = {};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<WORD>(2 * bits / 8);
    f.Format.nAvgBytesPerSec = f.Format.nBlockAlign * rate;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = bits;
    f.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    f.SubFormat = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    std::vector<uint8_t> value(sizeof(kFormatValueHeader) + sizeof(f));
    std::memcpy(value.data(), kFormatValueHeader, sizeof(kFormatValueHeader));
    std::memcpy(value.data() + sizeof(kFormatValueHeader), &f, sizeof(f));
    return value;
}

} // namespace

bool writeEndpointFormats(const wchar_t* endpointId, int flow, DWORD rate, WORD bits,
                          bool withOem) {
    HKEY raw = nullptr;
    const std::wstring key = endpointKey(endpointId, flow) + L"\\Properties";
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, nullptr, &raw,
                        nullptr) != ERROR_SUCCESS)
        return false;
    UniqueRegKey owner(raw);
    const std::vector<uint8_t> device = formatValue(rate, bits);
    const std::vector<uint8_t> oem = formatValue(rate, 32);
    RegDeleteValueW(raw, kOemFormatValueName);
    return RegSetValueExW(raw, kDeviceFormatValueName, 0, REG_BINARY, device.data(),
                          static_cast<DWORD>(device.size())) == ERROR_SUCCESS &&
           (!withOem || RegSetValueExW(raw, kOemFormatValueName, 0, REG_BINARY, oem.data(),
                                       static_cast<DWORD>(oem.size())) == ERROR_SUCCESS);
}

std::vector<uint8_t> readEndpointValue(const wchar_t* endpointId, int flow,
                                       const wchar_t* valueName) {
    HKEY raw = nullptr;
    const std::wstring key = endpointKey(endpointId, flow) + L"\\Properties";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &raw) != ERROR_SUCCESS)
        return {};
    UniqueRegKey owner(raw);
    std::vector<uint8_t> value(512);
    DWORD size = static_cast<DWORD>(value.size());
    if (RegQueryValueExW(raw, valueName, nullptr, nullptr, value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(size);
    return value;
}

void removeEndpointKey(const wchar_t* endpointId, int flow) {
    const std::wstring key = endpointKey(endpointId, flow);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &raw) !=
        ERROR_SUCCESS)
        return;
    UniqueRegKey owner(raw);
    RegDeleteKeyExW(raw, L"Properties", KEY_WOW64_64KEY, 0);
    owner.reset();
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
}

} // namespace sim
