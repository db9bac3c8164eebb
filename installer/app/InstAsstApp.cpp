#include "InstAsstApp.h"

#include "installer/InstallerRun.h"

BOOL CU3InstAsstApp::InitInstance() {
    try {
        failures_ = RunInstaller(m_lpCmdLine, systemShell());
    } catch (...) {
        OutputDebugStringA("QvK9InstAsst: the run ended early on an unexpected failure\n");
        failures_ = kRunIncomplete;
    }
    return FALSE;
}

int CU3InstAsstApp::ExitInstance(int) {
    return static_cast<int>(failures_);
}

CU3InstAsstApp theApp;
