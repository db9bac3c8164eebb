#include "InstAsstApp.h"

#include "installer/InstallerRun.h"

BOOL CU3InstAsstApp::InitInstance() {
    try {
        RunInstaller(m_lpCmdLine, systemShell());
    } catch (...) {
        OutputDebugStringA("QvK9InstAsst: the run ended early on an unexpected failure\n");
    }
    return FALSE;
}

CU3InstAsstApp theApp;
