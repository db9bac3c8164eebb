// The built control panel's resources as other programs and Windows read them: the dialog
// templates item by item, the string, the manifest, the version block and the artwork.
#include "cpl/ui/Resource.h"
#include "support/PanelProcess.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <mmsystem.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A dialog template (DLGTEMPLATEEX) read back into plain values.
struct TemplateItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string windowClass; // "#128" for the button ordinal and so on
    std::string text;        // "#129" for an ordinal (a bitmap's resource id)
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short cx = 0, cy = 0;
    std::string caption;
    WORD pointSize = 0;
    std::string font;
    std::vector<TemplateItem> items;

    const TemplateItem* item(DWORD id) const {
        for (const TemplateItem& i : items)
            if (i.id == id)
                return &i;
        return nullptr;
    }
};

class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : p_(data), end_(data + size) {}

    bool read(DialogTemplate& t) {
        const WORD version = word();
        const WORD signature = word();
        if (version != 1 || signature != 0xFFFF)
            return false;
        dword(); // help id
        t.exStyle = dword();
        t.style = dword();
        const WORD count = word();
        word(); // x
        word(); // y
        t.cx = static_cast<short>(word());
        t.cy = static_cast<short>(word());
        sizeOrOrdinal(); // menu
        sizeOrOrdinal(); // class
        t.caption = string();
        if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
            t.pointSize = word();
            word();  // weight
            byte2(); // italic and character set
            t.font = string();
        }
        for (WORD i = 0; i < count && ok_; ++i) {
            align();
            TemplateItem item;
            dword(); // help id
            item.exStyle = dword();
            item.style = dword();
            item.x = static_cast<short>(word());
            item.y = static_cast<short>(word());
            item.cx = static_cast<short>(word());
            item.cy = static_cast<short>(word());
            item.id = dword();
            item.windowClass = sizeOrOrdinal();
            item.text = sizeOrOrdinal();
            const WORD extra = word();
            p_ += extra;
            t.items.push_back(item);
        }
        return ok_;
    }

private:
    WORD word() {
        if (p_ + 2 > end_) {
            ok_ = false;
            return 0;
        }
        WORD v;
        std::memcpy(&v, p_, 2);
        p_ += 2;
        return v;
    }
    DWORD dword() {
        const DWORD low = word();
        return low | (static_cast<DWORD>(word()) << 16);
    }
    void byte2() { word(); }
    void align() {
        const auto offset = reinterpret_cast<uintptr_t>(p_);
        p_ += (4 - offset % 4) % 4;
    }
    std::string string() {
        std::string s;
        for (WORD c = word(); c != 0 && ok_; c = word())
            s += static_cast<char>(c);
        return s;
    }
    std::string sizeOrOrdinal() {
        if (p_ + 2 > end_) {
            ok_ = false;
            return {};
        }
        WORD first;
        std::memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            word();
            return "#" + std::to_string(word());
        }
        return string();
    }

    const BYTE* p_;
    const BYTE* end_;
    bool ok_ = true;
};

struct ExpectedItem {
    DWORD id;
    const char* windowClass;
    short x, y, cx, cy;
    const char* text;
    DWORD required;  // style bits that must be set
    DWORD forbidden; // style bits that must be clear
};

constexpr const char* kButton = "BUTTON";
constexpr const char* kEdit = "EDIT";
constexpr const char* kStatic = "STATIC";
constexpr const char* kCombo = "COMBOBOX";

// Window classes compare without regard to case, and the predefined ones may be written as
// ordinals: both forms are brought to the upper-case name.
std::string ClassName(const std::string& written) {
    const struct {
        const char* ordinal;
        const char* name;
    } predefined[] = {{"#128", kButton}, {"#129", kEdit}, {"#130", kStatic}, {"#133", kCombo}};
    for (const auto& p : predefined)
        if (written == p.ordinal)
            return p.name;
    std::string upper = written;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

class PanelResources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA(shippedPanelPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr)
            FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << shippedPanelPath(); }

    static std::vector<BYTE> resource(LPCSTR type, LPCSTR name) {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr)
            return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const auto* data = static_cast<const BYTE*>(LockResource(loaded));
        return std::vector<BYTE>(data, data + SizeofResource(module_, found));
    }

    static DialogTemplate dialog(UINT id) {
        std::vector<BYTE> data = resource(RT_DIALOG, MAKEINTRESOURCEA(id));
        // The reader aligns items to 4 bytes from the start of the template.
        std::vector<BYTE> aligned(data.size() + 16);
        BYTE* start = aligned.data();
        while (reinterpret_cast<uintptr_t>(start) % 4 != 0)
            ++start;
        std::memcpy(start, data.data(), data.size());
        DialogTemplate t;
        EXPECT_TRUE(TemplateReader(start, data.size()).read(t)) << "template " << id;
        return t;
    }

    static void expectItems(const DialogTemplate& t, const std::vector<ExpectedItem>& expected) {
        EXPECT_EQ(t.items.size(), expected.size());
        for (const ExpectedItem& e : expected) {
            const TemplateItem* item = t.item(e.id);
            ASSERT_NE(item, nullptr) << "item " << e.id;
            EXPECT_EQ(ClassName(item->windowClass), ClassName(e.windowClass)) << "item " << e.id;
            EXPECT_EQ(item->x, e.x) << "item " << e.id;
            EXPECT_EQ(item->y, e.y) << "item " << e.id;
            EXPECT_EQ(item->cx, e.cx) << "item " << e.id;
            EXPECT_EQ(item->cy, e.cy) << "item " << e.id;
            if (e.text != nullptr) {
                EXPECT_EQ(item->text, e.text) << "item " << e.id;
            }
            EXPECT_EQ(item->style & e.required, e.required) << "item " << e.id;
            EXPECT_EQ(item->style & e.forbidden, 0u) << "item " << e.id;
        }
    }

    static HMODULE module_;
};
HMODULE PanelResources::module_ = nullptr;

TEST_F(PanelResources, AboutBoxTemplate) {
    const DialogTemplate t = dialog(IDD_ABOUT);
    EXPECT_EQ(t.caption, "About Calmora Quenvora-K9 USB Audio Control Panel");
    EXPECT_EQ(t.font, "MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 8);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(t.style & style, style);
    expectItems(
        t, {
               {IDC_ABOUT_PICTURE, kStatic, 0, 0, 246, 54, "#129", SS_BITMAP, 0},
               {IDOK, kButton, 188, 36, 50, 16, "OK", BS_DEFPUSHBUTTON, 0},
               {IDC_ABOUT_TITLE, kStatic, 22, 5, 213, 8,
                "Calmora Quenvora-K9 USB Audio Control Panel Version 1.0.12.0a", SS_NOPREFIX, 0},
               {IDC_ABOUT_LINE2, kStatic, 22, 16, 130, 8, nullptr, 0, 0},
               {IDC_ABOUT_LINE3, kStatic, 23, 29, 107, 8, nullptr, 0, 0},
           });
    for (DWORD line : {IDC_ABOUT_LINE2, IDC_ABOUT_LINE3}) {
        const TemplateItem* item = t.item(line);
        ASSERT_NE(item, nullptr);
        EXPECT_FALSE(item->text.empty()) << "a line of the implementer's choosing";
    }
}

TEST_F(PanelResources, MainDialogTemplate) {
    const DialogTemplate t = dialog(IDD_MAIN);
    EXPECT_EQ(t.caption, "Calmora Quenvora-K9 USB Audio Control Panel");
    EXPECT_EQ(t.cx, 278);
    EXPECT_EQ(t.cy, 160);
    EXPECT_EQ(t.font, "MS Shell Dlg");
    const DWORD style =
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME;
    EXPECT_EQ(t.style & style, style);
    EXPECT_EQ(t.exStyle & WS_EX_APPWINDOW, static_cast<DWORD>(WS_EX_APPWINDOW));
    expectItems(t, {
                       {IDOK, kButton, 193, 0, 50, 16, "Exit", BS_DEFPUSHBUTTON, WS_VISIBLE},
                       {IDC_PAGE_TABS, "SysTabControl32", 5, 5, 268, 140, "", WS_VISIBLE, 0},
                       {IDC_MESSAGE_LINE, kEdit, 5, 145, 268, 14, "",
                        WS_BORDER | ES_CENTER | ES_AUTOHSCROLL, WS_VISIBLE},
                   });
}

TEST_F(PanelResources, FormatPageTemplate) {
    const DialogTemplate t = dialog(IDD_PAGE_FORMAT);
    EXPECT_EQ(t.cx, 259);
    EXPECT_EQ(t.cy, 119);
    EXPECT_EQ(t.style & (WS_CHILD | WS_BORDER | WS_DISABLED),
              static_cast<DWORD>(WS_CHILD | WS_BORDER | WS_DISABLED));
    EXPECT_EQ(t.style & WS_VISIBLE, 0u);
    const DWORD list = CBS_DROPDOWNLIST | WS_VSCROLL | WS_VISIBLE;
    const DWORD hiddenBox = BS_AUTOCHECKBOX;
    const DWORD status = ES_READONLY | WS_BORDER;
    expectItems(
        t, {
               {IDC_PLAY_GROUP, kButton, 9, 5, 240, 52, "Playback Stream", BS_GROUPBOX, 0},
               {IDC_PLAY_FORMAT_LABEL, kStatic, 27, 21, 45, 8, "Audio Format", WS_VISIBLE, 0},
               {IDC_PLAY_FORMAT, kCombo, 87, 20, 149, 158, "", list, CBS_SORT},
               {IDC_PLAY_FIXED, kButton, 126, 5, 61, 10, " Fixed Format", hiddenBox, WS_VISIBLE},
               {IDC_PLAY_STATUS, kEdit, 87, 35, 149, 14, "", status, WS_VISIBLE},
               {IDC_PLAY_STATUS_LABEL, kStatic, 24, 38, 48, 8, "Stream Status", 0, WS_VISIBLE},
               {IDC_REC_GROUP, kButton, 9, 62, 240, 52, "Record Stream", BS_GROUPBOX, 0},
               {IDC_REC_FIXED, kButton, 129, 62, 61, 10, " Fixed Format", hiddenBox, WS_VISIBLE},
               {IDC_REC_FORMAT_LABEL, kStatic, 27, 80, 45, 8, "Audio Format", WS_VISIBLE, 0},
               {IDC_REC_STATUS, kEdit, 87, 93, 149, 14, "", status, WS_VISIBLE},
               {IDC_REC_FORMAT, kCombo, 87, 78, 149, 119, "", list, CBS_SORT},
               {IDC_REC_STATUS_LABEL, kStatic, 24, 95, 48, 8, "Stream Status", 0, WS_VISIBLE},
           });
}

TEST_F(PanelResources, AsioPageTemplate) {
    const DialogTemplate t = dialog(IDD_PAGE_ASIO);
    EXPECT_EQ(t.cx, 264);
    EXPECT_EQ(t.cy, 125);
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_BORDER;
    EXPECT_EQ(t.style & style, style);
    const DWORD off = WS_DISABLED;
    const DWORD field = ES_READONLY | ES_CENTER | WS_BORDER | off;
    expectItems(t,
                {
                    {IDC_ASIO_BUFFER_GROUP, kButton, 5, 26, 243, 52, "ASIO Buffer Size",
                     BS_GROUPBOX | off, 0},
                    {IDC_ASIO_STATUS_LABEL, kStatic, 10, 10, 62, 8, "ASIO Driver Status", off, 0},
                    {IDC_ASIO_DRIVER_STATE, kEdit, 80, 7, 50, 14, "", field, 0},
                    {IDC_ASIO_STREAM_STATE, kEdit, 134, 7, 50, 14, "", field, 0},
                    {IDC_ASIO_AUTO_BUFFER, kButton, 18, 42, 73, 10, " Auto Adjustment",
                     BS_AUTOCHECKBOX | off, 0},
                    {IDC_ASIO_BUFFER_SLIDER, "msctls_trackbar32", 8, 58, 232, 15, "",
                     TBS_AUTOTICKS | TBS_TOP | off, TBS_VERT},
                    {IDC_ASIO_BITS_LABEL, kStatic, 14, 86, 52, 8, "Bits per Sample", off, 0},
                    {IDC_ASIO_BUFFER_SIZE, kEdit, 184, 38, 50, 14, "",
                     ES_READONLY | ES_MULTILINE | WS_BORDER | off, 0},
                    {IDC_ASIO_BITS16, kButton, 82, 86, 38, 10, "16 bits",
                     BS_AUTORADIOBUTTON | WS_GROUP | off, 0},
                    {IDC_ASIO_BITS24, kButton, 133, 86, 38, 10, "24 bits", BS_AUTORADIOBUTTON | off,
                     WS_GROUP},
                    {IDC_ASIO_STATUS_LINE, kEdit, 5, 101, 243, 14, "", field, 0},
                });
}

TEST_F(PanelResources, AboutMenuString) {
    char text[128] = {};
    ASSERT_GT(LoadStringA(module_, IDS_ABOUT_MENU, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "&About Audio Control Panel...");
}

TEST_F(PanelResources, ManifestAsksForElevationWithClassicControls) {
    const std::vector<BYTE> data = resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
    ASSERT_FALSE(data.empty());
    const std::string manifest(data.begin(), data.end());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

TEST_F(PanelResources, VersionBlock) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(shippedPanelPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(shippedPanelPath().c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x000C0000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x000C0000u);
    const struct {
        const char* name;
        const char* value;
    } strings[] = {
        {"FileVersion", "1.0.12.0a"},
        {"ProductVersion", "1.0.12.0a"},
        {"FileDescription", "Quenvora-K9 USB Audio Control Panel"},
        {"ProductName", "Quenvora-K9 USB Audio Control Panel"},
        {"InternalName", "QvK9CPL.exe"},
        {"OriginalFilename", "QvK9CPL.exe"},
        {"CompanyName", "Calmora"},
    };
    for (const auto& s : strings) {
        char* value = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040904b0\\") + s.name;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
            << s.name;
        EXPECT_STREQ(value, s.value);
    }
}

TEST_F(PanelResources, IconGroupHasEverySizeAt32Bits) {
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const std::vector<BYTE> group = resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDR_PANEL_ICON));
    ASSERT_GE(group.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupEntry));
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry e;
        std::memcpy(&e, group.data() + 6 + i * sizeof(GroupEntry), sizeof(e));
        const int size = e.width == 0 ? 256 : e.width;
        sizes.push_back(size);
        EXPECT_EQ(e.bitCount, 32) << size;
        // Each image is there and says the same of itself.
        const std::vector<BYTE> image = resource(RT_ICON, MAKEINTRESOURCEA(e.id));
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof(header));
        EXPECT_EQ(header.biWidth, size);
        EXPECT_EQ(header.biBitCount, 32);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128, 256}));
}

TEST_F(PanelResources, AboutPictureIs414By104At24Bits) {
    const std::vector<BYTE> data = resource(RT_BITMAP, MAKEINTRESOURCEA(IDB_ABOUT_PICTURE));
    ASSERT_GE(data.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, data.data(), sizeof(header));
    EXPECT_EQ(header.biWidth, 414);
    EXPECT_EQ(header.biHeight, 104);
    EXPECT_EQ(header.biBitCount, 24);
}

TEST_F(PanelResources, ArrivalSoundIsStereo16BitPcmOf100736Bytes) {
    const std::vector<BYTE> wave = resource("WAVE", MAKEINTRESOURCEA(IDR_ARRIVAL_SOUND));
    ASSERT_GE(wave.size(), 44u);
    ASSERT_EQ(std::memcmp(wave.data(), "RIFF", 4), 0);
    ASSERT_EQ(std::memcmp(wave.data() + 8, "WAVE", 4), 0);
    bool sawFormat = false;
    bool sawData = false;
    for (size_t at = 12; at + 8 <= wave.size();) {
        DWORD chunkSize = 0;
        std::memcpy(&chunkSize, wave.data() + at + 4, 4);
        const BYTE* body = wave.data() + at + 8;
        if (std::memcmp(wave.data() + at, "fmt ", 4) == 0) {
            PCMWAVEFORMAT format;
            std::memcpy(&format, body, sizeof(format));
            EXPECT_EQ(format.wf.wFormatTag, WAVE_FORMAT_PCM);
            EXPECT_EQ(format.wf.nChannels, 2);
            EXPECT_EQ(format.wf.nSamplesPerSec, 44100u);
            EXPECT_EQ(format.wBitsPerSample, 16);
            EXPECT_EQ(format.wf.nBlockAlign, 4);
            sawFormat = true;
        } else if (std::memcmp(wave.data() + at, "data", 4) == 0) {
            EXPECT_EQ(chunkSize, 100736u);
            EXPECT_LE(at + 8 + chunkSize, wave.size());
            sawData = true;
        }
        at += 8 + chunkSize + (chunkSize & 1);
    }
    EXPECT_TRUE(sawFormat);
    EXPECT_TRUE(sawData);
}

} // namespace
