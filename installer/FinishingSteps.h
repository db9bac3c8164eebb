// The optional steps the switches ask for: certificates, autostart, ASIO registration, restart.
#pragma once

#include <cstddef>

struct InstallerRun;

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kAutostartValue[] = L"CalmoraQvK9audioCPL";
constexpr wchar_t kPanelProgram[] = L"QvK9CPL.exe";
constexpr wchar_t kDriverDll[] = L"QvK9ASIO.dll";
// On 64-bit Windows the 64-bit driver beside it, for 64-bit hosts.
constexpr wchar_t kDriverDll64[] = L"QvK9ASIO64.dll";
constexpr wchar_t kCertificateTool[] = L"CertMgr.exe";
constexpr wchar_t kCertificateFile[] = L"Calmora.cer";
constexpr wchar_t kRestartNotice[] = L"System will be restarted to finish installation after 20 "
                                     L"seconds.";
constexpr unsigned kRestartCountdownSeconds = 20;

// Writes the certificate tool and the certificate into the package folder and has the tool add
// the certificate to the local machine's root and trusted-publisher stores; then checks that
// both hold it.
void InstallCertificates(InstallerRun& run);
// Install: the Run value (on Vista and later also the log-on task) and the panel started.
// Uninstall: both deleted, the panel ended.
void UpdateAutostart(InstallerRun& run);
// RegSvr32 on the driver in the package folder, registering or (uninstall) unregistering it; on
// 64-bit Windows on both drivers, each with the tool of its own bitness.
void UpdateAsioRegistration(InstallerRun& run);
// Asks the system to restart after the countdown; false (and nothing happens) without the
// privilege or when the system refuses.
bool RequestRestart();
