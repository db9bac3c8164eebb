// Finds the device's topology filter among the present KSCATEGORY_TOPOLOGY interfaces by the
// service its device runs on, not by the order they are listed in.
#pragma once

constexpr int kTopologyPathChars = 260;

// Fills `path` with the interface path of the first topology device whose service is the
// device's USB audio driver; false (path empty) when there is none or a step fails.
bool FindTopologyInterface(char (&path)[kTopologyPathChars]);
