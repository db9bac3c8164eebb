// The endpoints' format values in the registry of the machine (the Wine prefix's, for real),
// where the audio engine keeps them and the Trelvik driver reads and writes them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace sim {

constexpr wchar_t kDeviceFormatValueName[] = L"{f19f064d-082c-4e27-bc73-6882a1bb8e4c},0";
constexpr wchar_t kOemFormatValueName[] = L"{e4870e26-3cc5-4cd2-ba46-ca0a9a70ed04},0";
// The 8-byte property header before the format in each value.
constexpr uint8_t kFormatValueHeader[8] = {0x41, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00};

// Writes both format values (48 bytes each: header and WAVEFORMATEXTENSIBLE) of an endpoint,
// the OEM one at 32 bits; `withOem` false leaves the OEM value out.
bool writeEndpointFormats(const wchar_t* endpointId, int flow, DWORD rate, WORD bits,
                          bool withOem = true);
// One value of an endpoint's Properties key; empty when there is none.
std::vector<uint8_t> readEndpointValue(const wchar_t* endpointId, int flow,
                                       const wchar_t* valueName);
// Removes the endpoint's key.
void removeEndpointKey(const wchar_t* endpointId, int flow);

} // namespace sim
