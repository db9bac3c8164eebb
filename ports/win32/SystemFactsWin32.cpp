#include "../SystemFacts.h"

namespace {

class SystemFactsWin32 final : public SystemFacts {
public:
    BOOL getVersionEx(OSVERSIONINFOA* info) override {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        return GetVersionExA(info);
#pragma GCC diagnostic pop
    }
    bool getNativeSystemInfo(SYSTEM_INFO* info) override {
        using Fn = void(WINAPI*)(SYSTEM_INFO*);
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        auto fn = kernel ? reinterpret_cast<Fn>(
                               reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                         : nullptr;
        if (fn == nullptr)
            return false;
        fn(info);
        return true;
    }
    void getSystemInfo(SYSTEM_INFO* info) override { GetSystemInfo(info); }
    BOOL openProcessToken(DWORD access, HANDLE* token) override {
        return OpenProcessToken(GetCurrentProcess(), access, token);
    }
    BOOL getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS cls, void* info, DWORD size,
                             DWORD* returned) override {
        return GetTokenInformation(token, cls, info, size, returned);
    }
};

} // namespace

SystemFacts& systemFacts() {
    static SystemFactsWin32 instance;
    return instance;
}
