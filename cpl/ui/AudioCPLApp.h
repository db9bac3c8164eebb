// The control panel program: one instance per log-on, whose whole run is the main dialog.
#pragma once

#include "framework/Application.h"

class CAudioCPLApp : public CApplication {
public:
    BOOL InitInstance() override;
};
