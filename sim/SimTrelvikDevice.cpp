// The Trelvik driver's device: reads and writes registry values for the caller, as the kernel
// sees the registry ("\Registry\Machine\..." is HKEY_LOCAL_MACHINE, in the native view).
// The record carries 32-bit addresses into the caller: an address that does not lead to memory
// the caller owns (as a 64-bit pointer cut to 32 bits would) makes the request fail.
#include "SharedRead.h"
#include "SimDeviceState.h"
#include "SimKernelDevices.h"

#include "common/UniqueResource.h"
#include "cpl/device/DeviceWireRecords.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace sim {

namespace {

constexpr wchar_t kMachinePrefix[] = L"\\Registry\\Machine\\";
constexpr size_t kMaxText = 260;

BOOL refuse(DWORD error) {
    InterlockedIncrement(&state()->trelvik.refused);
    SetLastError(error);
    return FALSE;
}

// The bytes [address, address + size) are committed memory of this process with these rights.
bool reachable(uint32_t address, size_t size, bool writable) {
    if (address == 0 || size == 0)
        return false;
    auto at = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(address));
    while (size > 0) {
        MEMORY_BASIC_INFORMATION region = {};
        if (VirtualQuery(at, &region, sizeof(region)) == 0 || region.State != MEM_COMMIT ||
            (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
            return false;
        const DWORD canWrite =
            PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (writable && (region.Protect & canWrite) == 0)
            return false;
        const size_t left =
            static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize - at;
        const size_t step = left < size ? left : size;
        at += step;
        size -= step;
    }
    return true;
}

// A NUL-terminated UTF-16 text at a caller's address, at most kMaxText characters.
bool readText(uint32_t address, std::wstring* text) {
    text->clear();
    for (size_t i = 0; i < kMaxText; ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i * sizeof(wchar_t));
        if (!reachable(at, sizeof(wchar_t), false))
            return false;
        const wchar_t c = *reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(at));
        if (c == L'\0')
            return true;
        text->push_back(c);
    }
    return false;
}

bool openKey(const std::wstring& kernelPath, REGSAM access, UniqueRegKey* key) {
    const size_t prefix = std::wcslen(kMachinePrefix);
    if (kernelPath.size() <= prefix || _wcsnicmp(kernelPath.c_str(), kMachinePrefix, prefix) != 0)
        return false;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kernelPath.c_str() + prefix, 0, access | KEY_WOW64_64KEY,
                      &raw) != ERROR_SUCCESS)
        return false;
    key->reset(raw);
    return true;
}

BOOL readValue(const RegValueRequest& r, const std::wstring& path, const std::wstring& name) {
    SimState* s = state();
    wchar_t unreadable[64];
    std::memcpy(unreadable, s->faults.unreadableValue, sizeof(unreadable));
    unreadable[63] = L'\0';
    if (unreadable[0] != L'\0' && _wcsicmp(unreadable, name.c_str()) == 0)
        return refuse(ERROR_READ_FAULT);
    if (r.length < kRegValueReadHeaderBytes || !reachable(r.data, r.length, true))
        return refuse(ERROR_INVALID_USER_BUFFER);
    UniqueRegKey key;
    if (!openKey(path, KEY_QUERY_VALUE, &key))
        return refuse(ERROR_FILE_NOT_FOUND);
    auto buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(r.data));
    DWORD type = 0;
    DWORD size = r.length - kRegValueReadHeaderBytes;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, buffer + kRegValueReadHeaderBytes,
                         &size) != ERROR_SUCCESS)
        return refuse(ERROR_FILE_NOT_FOUND);
    // The driver's own header: type, length and the size of the header itself.
    const uint32_t header[3] = {type, size, kRegValueReadHeaderBytes};
    std::memcpy(buffer, header, sizeof(header));
    InterlockedIncrement(&s->trelvik.reads);
    return TRUE;
}

BOOL writeValue(const RegValueRequest& r, const std::wstring& path, const std::wstring& name) {
    if (!reachable(r.data, r.length, false))
        return refuse(ERROR_INVALID_USER_BUFFER);
    UniqueRegKey key;
    if (!openKey(path, KEY_SET_VALUE, &key))
        return refuse(ERROR_FILE_NOT_FOUND);
    auto data = reinterpret_cast<const BYTE*>(static_cast<uintptr_t>(r.data));
    if (RegSetValueExW(key.get(), name.c_str(), 0, r.type, data, r.length) != ERROR_SUCCESS)
        return refuse(ERROR_WRITE_FAULT);
    InterlockedIncrement(&state()->trelvik.writes);
    return TRUE;
}

} // namespace

bool trelvikPresent() {
    return switchedOn(state()->trelvik.running);
}

BOOL trelvikRequest(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    if (returned != nullptr)
        *returned = 0;
    if (!trelvikPresent())
        return refuse(ERROR_DEVICE_NOT_CONNECTED);
    if (code != kIoctlRegValueRead && code != kIoctlRegValueWrite)
        return refuse(ERROR_INVALID_FUNCTION);
    if (in == nullptr || out == nullptr || inSize < sizeof(RegValueRequest) ||
        outSize < sizeof(RegValueRequest))
        return refuse(ERROR_INVALID_PARAMETER);
    if (switchedOn(state()->faults.trelvikRequestFails))
        return refuse(ERROR_GEN_FAILURE);
    RegValueRequest r;
    std::memcpy(&r, in, sizeof(r));
    std::wstring path;
    std::wstring name;
    if (r.size != sizeof(RegValueRequest) || !readText(r.keyPath, &path) ||
        !readText(r.valueName, &name))
        return refuse(ERROR_INVALID_PARAMETER);
    const BOOL ok =
        code == kIoctlRegValueRead ? readValue(r, path, name) : writeValue(r, path, name);
    if (ok) {
        std::memmove(out, &r, sizeof(r)); // buffered: the record goes back as it came
        if (returned != nullptr)
            *returned = sizeof(r);
    }
    return ok;
}

} // namespace sim
