// The control panel's one handle on the Quenvora-K9: finds and opens the device, reads and sets
// its formats and stream status, and sees the ASIO driver's state through the shared block.
// Owned by the main dialog and lent to the pages; every call comes from the dialog's thread.
#pragma once

#include "DeviceWireRecords.h"

#include "common/AsioSharedBlock.h"
#include "common/SharedBlockAccess.h"
#include "common/WindowsVersion.h"
#include "ports/DeviceIo.h"

#include <windows.h>

#include <memory>

class CEndpointWatcher;
class CDeviceMixer;

// Data flows as the endpoint API numbers them.
constexpr int kFlowRender = 0;
constexpr int kFlowCapture = 1;

constexpr int kEndpointSlots = 4;
constexpr int kEndpointIdChars = 260;

constexpr WORD kDeviceVendorId = 0x1852;
constexpr WORD kDeviceProductId = 0x7022;
constexpr WORD kDeviceInterface = 1;

class CUsbAudioDevice {
public:
    CUsbAudioDevice();
    ~CUsbAudioDevice();
    CUsbAudioDevice(const CUsbAudioDevice&) = delete;
    CUsbAudioDevice& operator=(const CUsbAudioDevice&) = delete;

    // Finds and opens the device; `owner` receives the mixer's notices. True at once when open.
    bool Open(HWND owner);
    // Leaves the object closed and usable; the ASIO shared block stays as it is.
    void Close();
    // Windows 6.0 and 6.1: formats live in the endpoints' registry properties.
    bool UsesEndpointPath() const;

    // Reads the "VID_", "PID_" and "MI_" numbers of a device path, upper-casing `text` in
    // place. vid, pid and mi start at 255; false without "VID_" or "MI_" (vid and pid may be
    // set already). Any of the outputs may be null.
    static bool ParseVidPidMi(char* text, WORD* vid, WORD* pid, WORD* mi);

    // get true fills `record` from the device; get false applies it. 24 bits go out as 32.
    bool AccessFormat(bool get, DeviceFormatRecord* record);
    // The streams the device runs now; 32 bits come back as 24.
    bool QueryStreamStatus(StreamStatusRecord* record);

    // One endpoint's format values in its registry properties, through the Trelvik driver.
    // `endpoint` is the endpoint's id (its first 17 characters are the flow prefix).
    bool WriteEndpointFormat(const wchar_t* endpoint, int flow, DWORD rate, WORD channels,
                             WORD bits);
    bool ReadEndpointFormat(const wchar_t* endpoint, int flow, DWORD* rate, WORD* channels,
                            WORD* bits);

    // The ASIO shared block, opened or created as the driver does it; stays open until
    // destruction or CloseAsioShared.
    bool OpenAsioShared();
    void CloseAsioShared();
    bool ReadAsioState(AsioStateRecord* record);

    bool IsOpen() const { return open_; }
    // The topology filter is open (neither null nor INVALID_HANDLE_VALUE).
    bool HasTopologyHandle() const { return topology_.valid(); }
    // The system facts could be read: without them the panel does not open the device.
    bool HasPlatformInfo() const { return platform_ != nullptr && platformReady_; }
    const CPlatformInfo* Platform() const { return platform_.get(); }

    bool IsAsioSharedOpen() const { return sharedOpen_; }
    // The mapped block when open and carrying the magic, else null: the page's field writes
    // and the dialog's showPanelRequest go through this.
    AsioSharedBlock* SharedBlock() const { return sharedOpen_ ? shared_.valid() : nullptr; }

    int RenderCount() const { return renderCount_; }
    int CaptureCount() const { return captureCount_; }
    const wchar_t* RenderEndpointId(int slot) const;
    const wchar_t* CaptureEndpointId(int slot) const;
    CDeviceMixer* Mixer() const { return mixer_.get(); }

private:
    bool CollectEndpoints(int flow, const char* identity, wchar_t (*ids)[kEndpointIdChars],
                          int* count);
    bool MakeWatcherReady();
    void ReleaseWatcher();
    bool AccessEndpointFormat(bool get, DeviceFormatRecord* record);
    bool ReadFlowFormat(int flow, DWORD* rate, WORD* bits);

    std::unique_ptr<CPlatformInfo> platform_;
    bool platformReady_ = false;
    // The endpoint watcher belongs with the platform facts; created on first need.
    std::unique_ptr<CEndpointWatcher> watcher_;
    bool watcherReady_ = false;
    UniqueDeviceHandle topology_;
    bool open_ = false;
    SharedBlockAccess shared_;
    bool sharedOpen_ = false;
    int renderCount_ = 0;
    int captureCount_ = 0;
    wchar_t renderIds_[kEndpointSlots][kEndpointIdChars] = {};
    wchar_t captureIds_[kEndpointSlots][kEndpointIdChars] = {};
    std::unique_ptr<CDeviceMixer> mixer_;
};
