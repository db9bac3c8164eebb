#include "RegisteredDriver.h"

#include "asio/DriverIdentity.h"

HRESULT RegisteredDriver::create() {
    release();
    return CoCreateInstance(CLSID_QvK9Asio, nullptr, CLSCTX_INPROC_SERVER, CLSID_QvK9Asio,
                            reinterpret_cast<void**>(&asio_));
}

void RegisteredDriver::release() {
    if (asio_ != nullptr)
        asio_->Release();
    asio_ = nullptr;
}
