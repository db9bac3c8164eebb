// Our certificate tool, run as its own process; the stores are read back from this one.
#include "CertificateStores.h"
#include "InstallerMachine.h"

#include "support/TestProcess.h"

#include <gtest/gtest.h>

namespace {

std::string certMgr() {
    return "\"" + testProgramFolder() + "..\\bin\\CertMgr.exe\"";
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(static_cast<char>(c));
    return out;
}

DWORD runTool(const std::string& arguments) {
    DWORD code = 0xFFFF;
    // Generous: Wine's first use of the certificate functions in a prefix reads in every root
    // certificate of the machine, which takes long on a busy one.
    EXPECT_TRUE(runAndWait(certMgr() + " " + arguments, 120000, &code))
        << arguments << " (not started, or still running after 2 minutes)";
    return code;
}

class CertMgrTool : public ::testing::Test {
protected:
    void SetUp() override {
        certificate_ = ReadWholeFile(BuiltCertificatePath());
        ASSERT_EQ(certificate_.size(), 494u);
        cleanStores();
    }
    void TearDown() override { cleanStores(); }
    void cleanStores() {
        RemoveFromMachineStore(L"Root", certificate_);
        RemoveFromMachineStore(L"TrustedPublisher", certificate_);
    }
    std::vector<BYTE> certificate_;
};

TEST_F(CertMgrTool, AddsTheCertificateToTheNamedStoreOnly) {
    const std::string file = narrow(BuiltCertificatePath());
    EXPECT_EQ(runTool("-add \"" + file + "\" -s -r localmachine root"), 0u);
    EXPECT_TRUE(MachineStoreHolds(L"Root", certificate_));
    EXPECT_FALSE(MachineStoreHolds(L"TrustedPublisher", certificate_));
    EXPECT_EQ(runTool("-add \"" + file + "\" -s -r localmachine trustedpublisher"), 0u);
    EXPECT_TRUE(MachineStoreHolds(L"TrustedPublisher", certificate_));
    // Adding again replaces the copy instead of failing.
    EXPECT_EQ(runTool("-add \"" + file + "\" -s -r localmachine root"), 0u);
}

TEST_F(CertMgrTool, RefusesAnyOtherCommandLineAndChangesNothing) {
    const std::string file = "\"" + narrow(BuiltCertificatePath()) + "\"";
    const std::string refused[] = {
        "",
        "-add " + file,
        "-add " + file + " -s -r localmachine",
        "-add " + file + " -s -r currentuser root",
        "-add " + file + " -s -r localmachine my",
        "-del " + file + " -s -r localmachine root",
        "-add " + file + " -s -r localmachine root extra",
        "-add \"\" -s -r localmachine root",
    };
    for (const std::string& arguments : refused)
        EXPECT_EQ(runTool(arguments), 1u) << arguments;
    EXPECT_EQ(runTool("-add \"C:\\no\\such.cer\" -s -r localmachine root"), 2u);
    EXPECT_FALSE(MachineStoreHolds(L"Root", certificate_));
}

TEST_F(CertMgrTool, RefusesAFileThatIsNoCertificate) {
    const std::wstring folder = ScratchFolder(L"QvK9CertMgr");
    const std::wstring junk = folder + L"junk.cer";
    HANDLE file = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "not a certificate", 17, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(runTool("-add \"" + narrow(junk) + "\" -s -r localmachine root"), 4u);
    RemoveFolder(folder);
}

} // namespace
