// Loading a driver as any ASIO host does: COM on this thread, the object created by its CLSID
// with the CLSID as interface identifier, every operation through the IASIO vtable.
#pragma once

#include "asio/AsioInterface.h"
#include "common/ComApartment.h"

#include <string>

namespace asiohost {

using ::ComApartment;

// Owns one reference to a driver object.
class DriverRef {
public:
    DriverRef() = default;
    explicit DriverRef(IASIO* driver) : driver_(driver) {}
    ~DriverRef() { reset(); }
    DriverRef(const DriverRef&) = delete;
    DriverRef& operator=(const DriverRef&) = delete;
    DriverRef(DriverRef&& other) noexcept : driver_(other.driver_) { other.driver_ = nullptr; }
    DriverRef& operator=(DriverRef&& other) noexcept;

    IASIO* operator->() const { return driver_; }
    IASIO* get() const { return driver_; }
    explicit operator bool() const { return driver_ != nullptr; }
    void reset();

private:
    IASIO* driver_ = nullptr;
};

// A driver created and initialised, with COM around it (released in the right order).
struct LoadedDriver {
    ComApartment com;
    DriverRef driver;
};

// Looks the driver up by name, creates it and calls init with a null or the desktop window.
// On failure prints why (with the driver's own error message when init fails) and returns false.
bool loadDriver(const std::string& name, bool nullWindow, LoadedDriver& out);

// "0x80040154 (Class not registered)".
std::string describeHresult(HRESULT hr);

} // namespace asiohost
