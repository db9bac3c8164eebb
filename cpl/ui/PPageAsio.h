// The "ASIO CPL" page: the ASIO buffer size and sample width the user prefers, kept in the
// profile and handed to the driver through the shared block, and the driver's state.
#pragma once

#include "ColorStatic.h"
#include "framework/Dialog.h"

class CAudioCPLDlg;
class CUsbAudioDevice;
struct AsioSharedBlock;

constexpr char kPanelProfileSection[] = "QvK9AsioCPL";

class CPPageAsio : public CDialog {
public:
    CPPageAsio(CAudioCPLDlg* mainDialog, CUsbAudioDevice* device);

    void RefreshAsioStatus();
    BOOL DestroyWindow() override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    bool OnAutoBufferClicked(WPARAM, LPARAM, LRESULT&);
    bool OnHScroll(WPARAM, LPARAM, LRESULT&);
    bool OnBits16Clicked(WPARAM, LPARAM, LRESULT&);
    bool OnBits24Clicked(WPARAM, LPARAM, LRESULT&);
    void WidthChosen(int bits);

    // The block when the device object holds it mapped with the magic; null otherwise.
    AsioSharedBlock* UsableBlock() const;
    // A device object exists but its block is not usable: the failure message is shown.
    bool RefusedWithoutBlock(const char* message) const;
    void ShowField(CColorStatic& field, const char* text, COLORREF color);

    CAudioCPLDlg* m_mainDialog;
    CUsbAudioDevice* m_device;
    int m_maxFrames = 6144;
    int m_minFrames = 128;
    int m_frameStep = 32;
    bool m_lastLoaded = false;
    bool m_lastRunning = false;
    bool m_firstRefresh = true;
    CColorStatic m_driverState;
    CColorStatic m_streamState;
    CColorStatic m_bufferSize;
    CColorStatic m_statusLine;

    static const MessageEntry<CPPageAsio> kMessageMap[];
};
