#include "PPageAsio.h"

#include "AudioCPLDlg.h"
#include "Resource.h"
#include "cpl/device/UsbAudioDevice.h"
#include "framework/Application.h"

#include <commctrl.h>

#include <cstdio>

namespace {

constexpr COLORREF kDarkBlue = 0x7F0000;
constexpr COLORREF kDarkRed = 0x00007F;
constexpr COLORREF kBlack = 0x000000;

constexpr char kKeyBits[] = "SetBitRes";
constexpr char kKeyBufferSize[] = "SetBufSize";
constexpr char kKeyAutoBuffer[] = "SetAutoBufSize";

constexpr char kFailAuto[] =
    "Fail to set ASIO buffer size to be controlled by ASIO driver automatically!";
constexpr char kFailBufferSize[] = "Fail to set preferred ASIO buffer size!";
constexpr char kFailBits[] = "Fail to set ASIO bits per sample!";
constexpr char kBitsNextStart[] =
    "ASIO bits per sample will not take effect, untill next ASIO stream start";

// Enabled in this order once the shared block is there.
constexpr int kControlsEnabledWithBlock[] = {
    IDC_ASIO_AUTO_BUFFER,  IDC_ASIO_BUFFER_SLIDER, IDC_ASIO_BITS16,      IDC_ASIO_BITS24,
    IDC_ASIO_DRIVER_STATE, IDC_ASIO_STREAM_STATE,  IDC_ASIO_BUFFER_SIZE, IDC_ASIO_STATUS_LINE,
    IDC_ASIO_STATUS_LABEL, IDC_ASIO_BUFFER_GROUP,  IDC_ASIO_BITS_LABEL,
};

void WriteProfileNumber(const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    WriteProfileStringA(kPanelProfileSection, key, text);
}

// One aligned 32-bit field of the block at a time, as the driver reads it.
void StoreField(int32_t& field, int32_t value) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&field), value);
}

} // namespace

const MessageEntry<CPPageAsio> CPPageAsio::kMessageMap[] = {
    OnCommandRow(BN_CLICKED, IDC_ASIO_AUTO_BUFFER, &CPPageAsio::OnAutoBufferClicked),
    OnMessageRow(WM_HSCROLL, &CPPageAsio::OnHScroll),
    OnCommandRow(BN_CLICKED, IDC_ASIO_BITS16, &CPPageAsio::OnBits16Clicked),
    OnCommandRow(BN_CLICKED, IDC_ASIO_BITS24, &CPPageAsio::OnBits24Clicked),
};

CPPageAsio::CPPageAsio(CAudioCPLDlg* mainDialog, CUsbAudioDevice* device)
    : CDialog(IDD_PAGE_ASIO, mainDialog), m_mainDialog(mainDialog), m_device(device) {}

bool CPPageAsio::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchMessageTable(*this, kMessageMap, message, wParam, lParam, result) ||
           CDialog::OnMessage(message, wParam, lParam, result);
}

void CPPageAsio::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_ASIO_DRIVER_STATE, m_driverState);
    DDX_Control(exchange, IDC_ASIO_STREAM_STATE, m_streamState);
    DDX_Control(exchange, IDC_ASIO_BUFFER_SIZE, m_bufferSize);
    DDX_Control(exchange, IDC_ASIO_STATUS_LINE, m_statusLine);
}

AsioSharedBlock* CPPageAsio::UsableBlock() const {
    return m_device != nullptr ? m_device->SharedBlock() : nullptr;
}

bool CPPageAsio::RefusedWithoutBlock(const char* message) const {
    if (m_device == nullptr || UsableBlock() != nullptr)
        return false;
    if (CApplication* app = CApplication::Current())
        app->ShowMessage(message, MB_OK);
    return true;
}

BOOL CPPageAsio::OnInitDialog() {
    CDialog::OnInitDialog();
    m_firstRefresh = true;
    if (m_device == nullptr || !m_device->OpenAsioShared())
        return TRUE; // the page stays disabled and empty
    m_maxFrames = 6144;
    m_minFrames = 128;
    m_frameStep = 32;
    for (int id : kControlsEnabledWithBlock)
        EnableWindow(GetDlgItem(id), TRUE);

    int bits = static_cast<int>(GetProfileIntA(kPanelProfileSection, kKeyBits, 0));
    if (bits != 16 && bits != 24) {
        bits = 16;
        WriteProfileNumber(kKeyBits, bits);
    }
    if (AsioSharedBlock* block = UsableBlock())
        StoreField(block->requestedBits, bits);
    CheckDlgButton(m_hWnd, bits == 16 ? IDC_ASIO_BITS16 : IDC_ASIO_BITS24, BST_CHECKED);

    int frames = static_cast<int>(GetProfileIntA(kPanelProfileSection, kKeyBufferSize, 6144));
    if (frames < m_minFrames || frames > m_maxFrames) {
        frames = m_maxFrames;
        WriteProfileNumber(kKeyBufferSize, frames);
    }
    if (AsioSharedBlock* block = UsableBlock())
        StoreField(block->requestedFrames, frames);
    char text[16];
    std::snprintf(text, sizeof(text), "%d", frames);
    SetWindowTextA(m_bufferSize.m_hWnd, text);

    HWND slider = GetDlgItem(IDC_ASIO_BUFFER_SLIDER);
    SendMessageA(slider, TBM_SETRANGE, TRUE,
                 MAKELPARAM(0, (m_maxFrames - m_minFrames) / m_frameStep));
    SendMessageA(slider, TBM_SETPOS, TRUE, (frames - m_minFrames) / m_frameStep);

    const bool automatic = GetProfileIntA(kPanelProfileSection, kKeyAutoBuffer, 1) != 0;
    if (AsioSharedBlock* block = UsableBlock())
        StoreField(block->useRequestedFrames, automatic ? 0 : 1);
    CheckDlgButton(m_hWnd, IDC_ASIO_AUTO_BUFFER, automatic ? BST_CHECKED : BST_UNCHECKED);
    if (automatic)
        EnableWindow(slider, FALSE);

    RefreshAsioStatus();
    return TRUE;
}

bool CPPageAsio::OnAutoBufferClicked(WPARAM, LPARAM, LRESULT& result) {
    result = 0;
    const bool automatic = IsDlgButtonChecked(m_hWnd, IDC_ASIO_AUTO_BUFFER) == BST_CHECKED;
    EnableWindow(GetDlgItem(IDC_ASIO_BUFFER_SLIDER), !automatic);
    if (RefusedWithoutBlock(kFailAuto))
        return true;
    if (AsioSharedBlock* block = UsableBlock())
        StoreField(block->useRequestedFrames, automatic ? 0 : 1);
    WriteProfileNumber(kKeyAutoBuffer, automatic ? 1 : 0);
    return true;
}

bool CPPageAsio::OnHScroll(WPARAM, LPARAM lParam, LRESULT& result) {
    HWND slider = GetDlgItem(IDC_ASIO_BUFFER_SLIDER);
    if (reinterpret_cast<HWND>(lParam) != slider || slider == nullptr)
        return false;
    const int position = static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    const int frames = position * m_frameStep + m_minFrames;
    if (RefusedWithoutBlock(kFailBufferSize)) {
        result = 0;
        return true; // nothing stored, and no further scroll handling
    }
    if (AsioSharedBlock* block = UsableBlock())
        StoreField(block->requestedFrames, frames);
    char text[16];
    std::snprintf(text, sizeof(text), "%d", frames);
    SetWindowTextA(m_bufferSize.m_hWnd, text);
    WriteProfileNumber(kKeyBufferSize, frames);
    return false; // on to the default scroll handling
}

bool CPPageAsio::OnBits16Clicked(WPARAM, LPARAM, LRESULT& result) {
    WidthChosen(16);
    result = 0;
    return true;
}

bool CPPageAsio::OnBits24Clicked(WPARAM, LPARAM, LRESULT& result) {
    WidthChosen(24);
    result = 0;
    return true;
}

void CPPageAsio::WidthChosen(int bits) {
    if (RefusedWithoutBlock(kFailBits))
        return;
    if (AsioSharedBlock* block = UsableBlock()) {
        StoreField(block->requestedBits, bits);
        AsioStateRecord state = {};
        if (m_device->ReadAsioState(&state) && state.driverLoaded &&
            (state.outputChannelsInUse > 0 || state.inputChannelsInUse > 0)) {
            if (CApplication* app = CApplication::Current())
                app->ShowMessage(kBitsNextStart, MB_OK);
        }
    }
    WriteProfileNumber(kKeyBits, bits);
}

void CPPageAsio::ShowField(CColorStatic& field, const char* text, COLORREF color) {
    char current[128] = {};
    GetWindowTextA(field.m_hWnd, current, sizeof(current));
    if (lstrcmpA(current, text) == 0 && field.m_crTextColor == color)
        return;
    field.m_crTextColor = color;
    SetWindowTextA(field.m_hWnd, text);
    RedrawNow(field.m_hWnd);
}

void CPPageAsio::RefreshAsioStatus() {
    AsioSharedBlock* block = UsableBlock();
    if (block == nullptr)
        return;
    const bool loaded = block->driverLoaded != 0;
    const bool running = block->streamRunning != 0;
    const int outputs = block->outputChannelsInUse;
    const int inputs = block->inputChannelsInUse;
    const int rate = block->sampleRate;
    const int bits = block->sampleBits;
    const int frames = block->bufferFrames;

    if (m_firstRefresh) {
        m_firstRefresh = false;
        m_lastLoaded = !loaded;
        m_lastRunning = !running;
    }
    bool showStream = false;
    if (loaded != m_lastLoaded) {
        if (loaded) {
            ShowField(m_driverState, "Active", kDarkBlue);
            showStream = true;
        } else {
            ShowField(m_driverState, "Non-Active", kBlack);
            ShowField(m_streamState, "Stop", kBlack);
            ShowField(m_statusLine, "------", kBlack);
        }
    } else {
        showStream = loaded && running != m_lastRunning;
    }
    if (showStream) {
        if (running) {
            char line[128];
            // The last number is the buffer's length in sample frames.
            std::snprintf(line, sizeof(line),
                          "%d ch. output, %d ch. input, %d Hz  %d bits, %d BYTE Buffer", outputs,
                          inputs, rate, bits, frames);
            ShowField(m_streamState, "Start", kDarkBlue);
            ShowField(m_statusLine, line, kDarkBlue);
        } else {
            ShowField(m_streamState, "Stop", kDarkRed);
            ShowField(m_statusLine, "------", kBlack);
        }
    }
    m_lastLoaded = loaded;
    m_lastRunning = running;
}

BOOL CPPageAsio::DestroyWindow() {
    if (m_device != nullptr && m_device->HasPlatformInfo())
        m_device->CloseAsioShared();
    return CDialog::DestroyWindow();
}
