// A driver object made through its creation function, in the test's own process, on the
// simulated machine; released when the holder goes.
#pragma once

#include "asio/AsioSample.h"
#include "asio/DriverIdentity.h"
#include "sim/SimDeviceState.h"
#include "support/DriverProfile.h"

#include <gtest/gtest.h>

class InProcessDriver {
public:
    InProcessDriver() = default;
    ~InProcessDriver() { reset(); }
    InProcessDriver(const InProcessDriver&) = delete;
    InProcessDriver& operator=(const InProcessDriver&) = delete;

    // Builds the object as a host's CreateInstance would; false when that failed.
    bool create() {
        reset();
        HRESULT hr = S_OK;
        CUnknown* unknown = CreateAsioSample(nullptr, &hr);
        EXPECT_NE(unknown, nullptr);
        if (unknown != nullptr && unknown->NonDelegatingQueryInterface(
                                      CLSID_QvK9Asio, reinterpret_cast<void**>(&asio_)) != S_OK)
            asio_ = nullptr;
        return asio_ != nullptr;
    }

    void reset() {
        if (asio_ != nullptr)
            asio_->Release();
        asio_ = nullptr;
    }
    IASIO* operator->() const { return asio_; }
    IASIO* get() const { return asio_; }
    // Creates and opens the driver and builds buffers on both inputs and both outputs at 256
    // frames; the caller starts the stream.
    void openDuplexBuffers(ASIOCallbacks& callbacks) {
        ASSERT_TRUE(create());
        ASSERT_EQ(asio_->init(nullptr), ASIOTrue);
        ASIOBufferInfo infos[] = {
            {ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}, {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
        ASSERT_EQ(asio_->createBuffers(infos, 4, 256, &callbacks), ASE_OK);
    }

    // The object behind the interface, for the fields hosts cannot see.
    AsioSample& object() const { return *static_cast<AsioSample*>(asio_); }

private:
    IASIO* asio_ = nullptr;
};
