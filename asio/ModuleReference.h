// A reference of its own to the module the driver's code is in, for a thread that may still run
// that code after the host has released the driver and unloaded it otherwise.
#pragma once

#include <windows.h>

// Null when none can be had; drop it with FreeLibraryAndExitThread (or FreeLibrary).
HMODULE referenceDriverModule();
