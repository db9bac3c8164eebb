// Reads the local machine's certificate stores from the test process, and takes our certificate
// out of them again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::vector<BYTE> ReadWholeFile(const std::wstring& path);
// The encoded certificate is in the local machine's system store `store` ("Root", ...).
bool MachineStoreHolds(const wchar_t* store, const std::vector<BYTE>& certificate);
void RemoveFromMachineStore(const wchar_t* store, const std::vector<BYTE>& certificate);
// The certificate the build made, beside the test programs' build folder.
std::wstring BuiltCertificatePath();
