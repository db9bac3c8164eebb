#include "ports/DeviceIo.h"

namespace {

class DeviceIoWin32 final : public DeviceIo {
public:
    HANDLE createFile(const char* path, DWORD access, DWORD share, DWORD creation,
                      DWORD flags) override {
        return CreateFileA(path, access, share, nullptr, creation, flags, nullptr);
    }
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override {
        return DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
    }
    BOOL closeHandle(HANDLE device) override { return CloseHandle(device); }
};

} // namespace

DeviceIo& deviceIo() {
    static DeviceIoWin32 instance;
    return instance;
}
