#include "UsbAudioDevice.h"

#include "DeviceMixer.h"
#include "EndpointWatcher.h"
#include "TopologyInterface.h"

#include <cstdio>
#include <new>

CUsbAudioDevice::CUsbAudioDevice() {
    platform_.reset(new (std::nothrow) CPlatformInfo{});
    if (platform_) {
        platformReady_ = ReadSystemInfo(*platform_);
        if (platformReady_ && platform_->versionCode != kVersionUnknown &&
            platform_->majorVersion == 6)
            LogElevation();
    }
    // Without a mixer object the device works as well; it is only read.
    mixer_.reset(new (std::nothrow) CDeviceMixer());
}

CUsbAudioDevice::~CUsbAudioDevice() {
    Close();
    CloseAsioShared();
    ReleaseWatcher();
    platform_.reset();
    if (mixer_) {
        mixer_->FreeLineTable();
        mixer_->CloseMixer();
    }
}

bool CUsbAudioDevice::UsesEndpointPath() const {
    return platform_ != nullptr && platform_->versionCode != kVersionUnknown &&
           platform_->majorVersion == 6;
}

const wchar_t* CUsbAudioDevice::RenderEndpointId(int slot) const {
    return slot >= 0 && slot < kEndpointSlots ? renderIds_[slot] : L"";
}

const wchar_t* CUsbAudioDevice::CaptureEndpointId(int slot) const {
    return slot >= 0 && slot < kEndpointSlots ? captureIds_[slot] : L"";
}

bool CUsbAudioDevice::Open(HWND owner) {
    if (open_)
        return true;
    if (!platform_)
        return false;
    const bool endpointPath = UsesEndpointPath();
    if (endpointPath) {
        char identity[32];
        std::snprintf(identity, sizeof(identity), "VID_%04X&PID_%04X&MI_%02X", kDeviceVendorId,
                      kDeviceProductId, kDeviceInterface);
        if (!CollectEndpoints(kFlowRender, identity, renderIds_, &renderCount_))
            renderCount_ = 0;
        if (!CollectEndpoints(kFlowCapture, identity, captureIds_, &captureCount_))
            captureCount_ = 0;
        bool idsPresent = true;
        for (int i = 0; i < renderCount_; ++i)
            idsPresent = idsPresent && renderIds_[i][0] != L'\0';
        for (int i = 0; i < captureCount_; ++i)
            idsPresent = idsPresent && captureIds_[i][0] != L'\0';
        if (renderCount_ != 1 || captureCount_ < 0 || captureCount_ > 2 || !idsPresent) {
            Close();
            return false;
        }
    } else if (mixer_) {
        mixer_->OpenDeviceMixer(owner); // the mixer's outcome does not decide the open
    }

    char path[kTopologyPathChars];
    bool opened = endpointPath;
    if (FindTopologyInterface(path)) {
        topology_.reset(deviceIo().createFile(
            path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
        opened = opened || topology_.valid();
    }
    if (!opened) {
        Close();
        return false;
    }
    open_ = true;
    return true;
}

void CUsbAudioDevice::Close() {
    ReleaseWatcher();
    renderCount_ = 0;
    captureCount_ = 0;
    for (int i = 0; i < kEndpointSlots; ++i) {
        renderIds_[i][0] = L'\0';
        captureIds_[i][0] = L'\0';
    }
    if (mixer_) {
        mixer_->FreeLineTable();
        mixer_->CloseMixer();
    }
    topology_.reset();
    open_ = false;
}

void CUsbAudioDevice::ReleaseWatcher() {
    watcherReady_ = false;
    watcher_.reset();
}
