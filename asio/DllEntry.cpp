// The server's exported entry points: class objects, unloading and self-registration.
#include "ComBase.h"
#include "DriverIdentity.h"
#include "GuardedCall.h"
#include "Registration.h"

#include <olectl.h>

#include <cstdio>
#include <new>

namespace {

// The value the registration entries return on failure, whatever the cause.
constexpr HRESULT kRegistrationFailed = static_cast<HRESULT>(0xFFFFFFFF);
constexpr int kUnexpectedFailure = -1;

HRESULT reportRegistration(int result, const char* format) {
    if (result == kRegistrationDone)
        return S_OK;
    // The box is ours, not the registration tool's: a silent run of the tool still shows it.
    char text[128];
    std::snprintf(text, sizeof text, format, result);
    MessageBoxA(nullptr, text, kDriverName, MB_OK);
    return kRegistrationFailed;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return guarded<HRESULT>(E_UNEXPECTED, [&]() -> HRESULT {
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        for (int i = 0; i < classTemplateCount; ++i) {
            const ClassTemplate* row = &classTemplates[i];
            if (!IsEqualGUID(rclsid, *row->clsid))
                continue;
            if (ppv == nullptr)
                return E_POINTER;
            auto* factory = new (std::nothrow) CClassFactory(row);
            *ppv = factory;
            if (factory == nullptr)
                return E_OUTOFMEMORY;
            factory->AddRef();
            return S_OK;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    });
}

STDAPI DllCanUnloadNow() {
    return serverLockCount > 0 || objectCount != 0 ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    const int result = guarded<int>(kUnexpectedFailure, [] { return registerDriver(); });
    return reportRegistration(result, "Register Server failed ! (%d)");
}

STDAPI DllUnregisterServer() {
    const int result = guarded<int>(kUnexpectedFailure, [] { return unregisterDriver(); });
    return reportRegistration(result, "Unregister Server failed ! (%d)");
}
