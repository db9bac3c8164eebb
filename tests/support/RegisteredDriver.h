// The driver as any ASIO host gets it: registered, created by COM, called through its vtable.
#pragma once

#include "asio/AsioInterface.h"
#include "common/ComApartment.h"

#include <objbase.h>

class RegisteredDriver {
public:
    RegisteredDriver() = default;
    ~RegisteredDriver() { release(); }
    RegisteredDriver(const RegisteredDriver&) = delete;
    RegisteredDriver& operator=(const RegisteredDriver&) = delete;

    // CoCreateInstance with the class identifier as interface identifier, the hosts' way.
    HRESULT create();
    void release();
    IASIO* operator->() const { return asio_; }
    IASIO* get() const { return asio_; }

private:
    IASIO* asio_ = nullptr;
};
