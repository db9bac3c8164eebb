#include "DriverConnection.h"

#include "CrashGuard.h"
#include "DriverRegistry.h"
#include "common/UniqueResource.h"

#include <objbase.h>

#include <cstdio>

namespace asiohost {

void DriverRef::reset() {
    if (driver_ == nullptr)
        return;
    DriverCallScope scope("Release");
    driver_->Release();
    driver_ = nullptr;
}

DriverRef& DriverRef::operator=(DriverRef&& other) noexcept {
    if (this != &other) {
        reset();
        driver_ = other.driver_;
        other.driver_ = nullptr;
    }
    return *this;
}

bool loadDriver(const std::string& name, bool nullWindow, LoadedDriver& out) {
    if (!out.com.ok()) {
        std::printf("error: COM could not be initialised: %s\n",
                    describeHresult(out.com.result()).c_str());
        return false;
    }
    const DriverLookup lookup = findDriver(name);
    if (!lookup.found) {
        std::printf("error: %s\n", lookup.error.c_str());
        return false;
    }
    void* object = nullptr;
    HRESULT hr;
    {
        DriverCallScope scope("creation (CoCreateInstance)");
        // ASIO's convention: the class identifier doubles as the interface identifier.
        hr = CoCreateInstance(lookup.clsid, nullptr, CLSCTX_INPROC_SERVER, lookup.clsid, &object);
    }
    if (FAILED(hr) || object == nullptr) {
        std::printf("error: the driver \"%s\" (%s) could not be created: %s\n", name.c_str(),
                    lookup.clsidText.c_str(), describeHresult(hr).c_str());
        return false;
    }
    out.driver = DriverRef(static_cast<IASIO*>(object));

    HWND window = nullWindow ? nullptr : GetDesktopWindow();
    ASIOBool initialised;
    {
        DriverCallScope scope("init");
        initialised = out.driver->init(window);
    }
    if (initialised == ASIOFalse) {
        char message[256] = {};
        {
            DriverCallScope scope("getErrorMessage");
            out.driver->getErrorMessage(message);
        }
        message[sizeof(message) - 1] = '\0';
        std::printf("error: the driver's init failed (returned %ld): %s\n",
                    static_cast<long>(initialised), message[0] != '\0' ? message : "(no message)");
        return false;
    }
    return true;
}

std::string describeHresult(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(hr));
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    UniqueLocal owner(text);
    std::string result = code;
    if (length > 0 && text != nullptr) {
        std::string message(text, length);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == ' ' || message.back() == '.'))
            message.pop_back();
        result += " (" + message + ")";
    }
    return result;
}

} // namespace asiohost
