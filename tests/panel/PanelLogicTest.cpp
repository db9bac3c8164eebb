// The panel's small rules that need no window: the list texts and the way back, the text
// controls' drawing flags, and the messages the elevated window lets in.
#include "cpl/ui/FormatText.h"
#include "cpl/ui/MessageFilter.h"
#include "cpl/ui/TransparentStatic.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatText, WritesEntriesAndShowsTheDevices32BitsAs24) {
    char text[64];
    FormatText(16, 44100, text, sizeof(text));
    EXPECT_STREQ(text, "16 bit, 44100 Hz");
    FormatText(32, 96000, text, sizeof(text));
    EXPECT_STREQ(text, "24 bit, 96000 Hz");
    char small[8];
    FormatText(24, 48000, small, sizeof(small));
    EXPECT_STREQ(small, "24 bit,");
}

TEST(FormatText, ReadsEveryEntryOfTheListBack) {
    for (const FormatRow& row : kFormatRows) {
        char text[64];
        FormatText(row.bits, row.rate, text, sizeof(text));
        int bits = -1;
        unsigned rate = 1;
        ASSERT_TRUE(ParseFormatText(text, bits, rate)) << text;
        EXPECT_EQ(bits, row.bits);
        EXPECT_EQ(rate, row.rate);
    }
    int bits = -1;
    unsigned rate = 1;
    ASSERT_TRUE(ParseFormatText("auto", bits, rate));
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(rate, 0u);
}

TEST(FormatText, RefusesTextsThatAreNoEntry) {
    int bits = 0;
    unsigned rate = 0;
    for (const char* text :
         {"", "Au", "16 bit", "16 bits 44100", "16 bit, 44", "16 bit, 44100", "garbage text"}) {
        EXPECT_FALSE(ParseFormatText(text, bits, rate)) << text;
    }
    EXPECT_FALSE(ParseFormatText(nullptr, bits, rate));
    // Spaces do not matter, as in the entries the user never types.
    ASSERT_TRUE(ParseFormatText(" 24bit,  48000Hz ", bits, rate));
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(rate, 48000u);
}

// Windows 2000's string compares, as far as the list texts go: no locale stands for no language
// there (LOCALE_INVARIANT came with XP), and a compare that names it fails.
using CompareA = int(WINAPI*)(LCID, DWORD, LPCSTR, int, LPCSTR, int);
using CompareW = int(WINAPI*)(LCID, DWORD, LPCWSTR, int, LPCWSTR, int);
CompareA g_compareA = nullptr;
CompareW g_compareW = nullptr;

int WINAPI CompareStringAOfWindows2000(LCID l, DWORD f, LPCSTR a, int na, LPCSTR b, int nb) {
    if (l == LOCALE_INVARIANT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return g_compareA(l, f, a, na, b, nb);
}
int WINAPI CompareStringWOfWindows2000(LCID l, DWORD f, LPCWSTR a, int na, LPCWSTR b, int nb) {
    if (l == LOCALE_INVARIANT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return g_compareW(l, f, a, na, b, nb);
}

// This program's import of a kernel32 function, pointed elsewhere while the object lives; the
// list texts' code is compiled into this program, so its calls go through the same slot.
class KernelImportPatch {
public:
    KernelImportPatch(const char* name, void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* dll =
                 reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             imports.VirtualAddress != 0 && dll->Name != 0; ++dll) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + dll->Name), "kernel32.dll") != 0)
                continue;
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                const auto* byName =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), name) == 0)
                    swap(&slots->u1.Function, reinterpret_cast<ULONG_PTR>(replacement));
            }
        }
    }
    ~KernelImportPatch() {
        if (slot_ != nullptr)
            swap(slot_, original_);
    }
    KernelImportPatch(const KernelImportPatch&) = delete;
    KernelImportPatch& operator=(const KernelImportPatch&) = delete;
    // The function the slot led to, or null when this program does not import it.
    void* original() const { return reinterpret_cast<void*>(original_); }

private:
    void swap(ULONG_PTR* slot, ULONG_PTR value) {
        DWORD protection = 0;
        VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
        if (slot_ == nullptr) {
            slot_ = slot;
            original_ = *slot;
        }
        *slot = value;
        VirtualProtect(slot, sizeof(*slot), protection, &protection);
    }
    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

TEST(FormatText, ReadsAutoAsWindows2000AnswersTheStringCompares) {
    KernelImportPatch a("CompareStringA", reinterpret_cast<void*>(&CompareStringAOfWindows2000));
    KernelImportPatch w("CompareStringW", reinterpret_cast<void*>(&CompareStringWOfWindows2000));
    g_compareA = reinterpret_cast<CompareA>(a.original());
    g_compareW = reinterpret_cast<CompareW>(w.original());
    for (const char* text : {"Auto", "auto", " AUTO "}) {
        int bits = -1;
        unsigned rate = 1;
        ASSERT_TRUE(ParseFormatText(text, bits, rate)) << text;
        EXPECT_EQ(bits, 0) << text;
        EXPECT_EQ(rate, 0u) << text;
    }
    int bits = 0;
    unsigned rate = 0;
    EXPECT_FALSE(ParseFormatText("Aut", bits, rate));
}

TEST(TransparentStatic, DrawFlagsFollowTheStaticStyles) {
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_LEFT), static_cast<UINT>(DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_CENTER),
              static_cast<UINT>(DT_CENTER | DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_RIGHT | SS_NOPREFIX),
              static_cast<UINT>(DT_RIGHT | DT_NOPREFIX | DT_WORDBREAK));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_CENTERIMAGE),
              static_cast<UINT>(DT_VCENTER | DT_SINGLELINE));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_ENDELLIPSIS),
              static_cast<UINT>(DT_WORD_ELLIPSIS | DT_END_ELLIPSIS));
    EXPECT_EQ(CTransparentStatic::DrawFlagsForStyle(SS_PATHELLIPSIS),
              static_cast<UINT>(DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS));
}

TEST(MessageFilter, LetsInExactlyTheCommandsAndTheShellsRestart) {
    const AllowedMessages allowed = MessagesFromOtherPrograms(0xC123);
    ASSERT_EQ(allowed.count, 2);
    EXPECT_EQ(allowed.messages[0], static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(allowed.messages[1], 0xC123u);
    EXPECT_EQ(MessagesFromOtherPrograms(0).count, 1);
}

} // namespace
