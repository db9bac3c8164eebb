// The about box's title keeps its whole text, version included, on one line, whatever the width
// of the font it gets: first by growing to the picture's edge, then with narrower glyphs.
#include "cpl/ui/TitleFit.h"
#include "framework/WindowResources.h"

#include <gtest/gtest.h>

namespace {

constexpr char kTitle[] = "Calmora Quenvora-K9 USB Audio Control Panel Version 1.0.12.0a";

struct Extent {
    int text;    // the text's width in the control's font
    int client;  // the control's width
    int right;   // the control's right edge in its parent
    LONG height; // the font's height
};

class TitleFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 600, 120, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        font_.reset(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH, "Tahoma"));
        ASSERT_TRUE(font_.valid());
    }
    void TearDown() override {
        if (title_ != nullptr)
            DestroyWindow(title_);
        if (parent_ != nullptr)
            DestroyWindow(parent_);
    }

    // A one-line static text at (70, 12) of the given width, in the test's font.
    void MakeTitle(int width) {
        title_ = CreateWindowExA(0, "Static", kTitle, WS_CHILD | SS_NOPREFIX, 70, 12, width, 13,
                                 parent_, nullptr, nullptr, nullptr);
        ASSERT_NE(title_, nullptr);
        SendMessageA(title_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }

    int NaturalWidth() {
        MakeTitle(10);
        const int width = Measure().text;
        DestroyWindow(title_);
        title_ = nullptr;
        return width;
    }

    Extent Measure() const {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(title_, WM_GETFONT, 0, 0));
        HDC dc = GetDC(title_);
        HGDIOBJ previous = SelectObject(dc, font);
        SIZE size = {};
        GetTextExtentPoint32A(dc, kTitle, lstrlenA(kTitle), &size);
        SelectObject(dc, previous);
        ReleaseDC(title_, dc);
        LOGFONTA shape = {};
        GetObjectA(font, sizeof(shape), &shape);
        RECT client;
        GetClientRect(title_, &client);
        RECT placed;
        GetWindowRect(title_, &placed);
        MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&placed), 2);
        return {size.cx, client.right, placed.right, shape.lfHeight};
    }

    HWND parent_ = nullptr;
    HWND title_ = nullptr;
    UniqueGdiObject font_;
};

TEST_F(TitleFitTest, LeavesATitleThatFitsAsItIs) {
    const int natural = NaturalWidth();
    MakeTitle(natural + 20);
    EXPECT_EQ(FitTitleOnOneLine(title_, 70 + natural + 100), nullptr);
    EXPECT_EQ(Measure().client, natural + 20);
}

TEST_F(TitleFitTest, GrowsToTheRightWhereThereIsRoomAndKeepsTheFont) {
    const int natural = NaturalWidth();
    MakeTitle(natural / 2);
    EXPECT_EQ(FitTitleOnOneLine(title_, 70 + natural + 50), nullptr);
    const Extent after = Measure();
    EXPECT_GE(after.client, after.text);
    EXPECT_LE(after.right, 70 + natural + 50);
}

TEST_F(TitleFitTest, NarrowsTheGlyphsWhenEvenTheEdgeIsTooNear) {
    const int natural = NaturalWidth();
    MakeTitle(natural / 2);
    const int limit = 70 + natural * 4 / 5; // a fifth too little room, as Wine's font leaves
    UniqueGdiObject narrower(FitTitleOnOneLine(title_, limit));
    ASSERT_TRUE(narrower.valid());
    const Extent after = Measure();
    EXPECT_EQ(after.right, limit);
    EXPECT_LE(after.text, after.client) << "the version at the end would wrap out of sight";
    EXPECT_GT(after.text, after.client * 3 / 4) << "narrowed far more than needed";
    EXPECT_EQ(after.height, -11) << "only the width changes, the line height stays";
    DestroyWindow(title_); // before its font goes
    title_ = nullptr;
}

} // namespace
