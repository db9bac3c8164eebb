// What a run leaves in the package folder, deleted again at its end.
#pragma once

struct InstallerRun;

// After an install with certificates: the certificate tool and the certificate file.
void RemoveCertificateFiles(InstallerRun& run);
// After an uninstall: what Windows generated in the package's Driver folder (the precompiled INF
// files and every file whose name begins with Inf).
void CleanDriverFolder(InstallerRun& run);
