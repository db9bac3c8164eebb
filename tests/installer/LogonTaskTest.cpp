// The control panel's log-on task, registered with the Task Scheduler of the test prefix.
#include "InstallerMachine.h"
#include "RecordingShell.h"

#include "installer/FinishingSteps.h"
#include "installer/InstallerRun.h"
#include "installer/LogonTask.h"
#include "common/ComRef.h"
#include "sim/SimDeviceState.h"

#include <gtest/gtest.h>

#include <msxml2.h>

namespace {

class LogonTask : public ::testing::Test {
protected:
    void SetUp() override {
        sim::resetToDefaults();
        DeleteLogonTask();
        // A folder name that is no plain XML text.
        folder_ = ScratchFolder(L"QvK9 Tasks & <Co>");
    }
    void TearDown() override {
        DeleteLogonTask();
        DeleteMachineValue(kRunKey, kAutostartValue);
        RemoveFolder(folder_);
        sim::resetToDefaults();
    }
    std::wstring folder_;
};

TEST_F(LogonTask, VistaAndLaterGetATaskBesideTheRunValueAndTheUninstallTakesItAway) {
    PackageFolderValue package(folder_);
    for (WindowsVersionCode code : {5, 6, 7, 8, 10, 11, 12}) {
        SimulateWindows(code);
        RecordingShell shell;
        EXPECT_EQ(RunInstaller(L"/A", shell), 0u) << code;
        EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), folder_ + L"QvK9CPL.exe") << code;
        const std::wstring task = StoredLogonTask();
        if (code < 8) {
            // Windows 2000 to Server 2003 start the panel from the Run value alone.
            EXPECT_EQ(task, L"<missing>") << code;
            continue;
        }
        // Wine keeps the description and the settings of what it was given; it writes no
        // triggers, principal or command back, which the parsed definition below shows instead.
        EXPECT_NE(task.find(L"Quenvora-K9 USB Audio Control Panel"), std::wstring::npos) << code;
        EXPECT_NE(task.find(L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"), std::wstring::npos)
            << code;
        EXPECT_EQ(RunInstaller(L"/U,/A", shell), 0u) << code;
        EXPECT_EQ(StoredLogonTask(), L"<missing>") << code;
        EXPECT_EQ(ReadMachineString(kRunKey, kAutostartValue), L"<missing>") << code;
    }
}

TEST_F(LogonTask, RegisteringTwiceReplacesAndDeletingTwiceIsDone) {
    ASSERT_TRUE(RegisterLogonTask(L"C:\\Old\\QvK9CPL.exe"));
    ASSERT_TRUE(RegisterLogonTask(folder_ + L"QvK9CPL.exe"));
    EXPECT_NE(StoredLogonTask(), L"<missing>");
    EXPECT_TRUE(DeleteLogonTask());
    EXPECT_EQ(StoredLogonTask(), L"<missing>");
    EXPECT_TRUE(DeleteLogonTask());
}

// The definition as the Task Scheduler reads it: through the system's XML parser, by the paths of
// its schema.
class ParsedDefinition {
public:
    explicit ParsedDefinition(const std::wstring& xml) {
        // Msxml2.DOMDocument.3.0 and IXMLDOMDocument2.
        constexpr CLSID kDocument = {
            0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
        constexpr IID kDocument2 = {
            0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(CoCreateInstance(kDocument, nullptr, CLSCTX_INPROC_SERVER, kDocument2,
                                    reinterpret_cast<void**>(document_.out()))))
            return;
        VARIANT_BOOL loaded = VARIANT_FALSE;
        BSTR text = SysAllocString(xml.c_str());
        document_->loadXML(text, &loaded);
        SysFreeString(text);
        BSTR name = SysAllocString(L"SelectionNamespaces");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal =
            SysAllocString(L"xmlns:t='http://schemas.microsoft.com/windows/2004/02/mit/task'");
        document_->setProperty(name, value);
        VariantClear(&value);
        SysFreeString(name);
        loaded_ = loaded == VARIANT_TRUE;
    }
    bool loaded() const { return loaded_; }
    // The text of the node at `path`, or "<none>".
    std::wstring at(const wchar_t* path) {
        ComRef<IXMLDOMNode> node;
        BSTR query = SysAllocString(path);
        const HRESULT found = document_ ? document_->selectSingleNode(query, node.out()) : E_FAIL;
        SysFreeString(query);
        BSTR text = nullptr;
        if (found != S_OK || !node || FAILED(node->get_text(&text)) || text == nullptr)
            return L"<none>";
        std::wstring result(text);
        SysFreeString(text);
        return result;
    }

private:
    ComRef<IXMLDOMDocument2> document_;
    bool loaded_ = false;
};

TEST(LogonTaskDefinition, RunsTheProgramAsGivenAtEveryLogOnWithTheHighestPrivileges) {
    const std::wstring program = L"C:\\Program Files\\A & B <Audio> 'x'\\QvK9CPL.exe";
    ParsedDefinition task(LogonTaskDefinition(program));
    ASSERT_TRUE(task.loaded());
    EXPECT_EQ(task.at(L"/t:Task/t:Actions/t:Exec/t:Command"), program);
    EXPECT_EQ(task.at(L"/t:Task/t:Triggers/t:LogonTrigger/t:Enabled"), L"true");
    // Any user's log-on: no user named in the trigger.
    EXPECT_EQ(task.at(L"/t:Task/t:Triggers/t:LogonTrigger/t:UserId"), L"<none>");
    const std::wstring principal = task.at(L"/t:Task/t:Actions/@Context");
    EXPECT_EQ(
        task.at((L"/t:Task/t:Principals/t:Principal[@id='" + principal + L"']/t:RunLevel").c_str()),
        L"HighestAvailable");
    // A panel runs for the whole log-on, on battery too.
    EXPECT_EQ(task.at(L"/t:Task/t:Settings/t:ExecutionTimeLimit"), L"PT0S");
    EXPECT_EQ(task.at(L"/t:Task/t:Settings/t:StopIfGoingOnBatteries"), L"false");
    EXPECT_EQ(task.at(L"/t:Task/t:Settings/t:DisallowStartIfOnBatteries"), L"false");
}

} // namespace
