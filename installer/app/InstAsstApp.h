// The installer assistant's application object: its start-up is the whole run.
#pragma once

#include "framework/Application.h"

class CU3InstAsstApp : public CApplication {
public:
    // Runs the installation or removal and reports failure, so no message loop is ever entered.
    BOOL InitInstance() override;
    // The program's exit code: the run's failure bits, 0 when every step asked for was done.
    int ExitInstance(int exitCode) override;

private:
    unsigned failures_ = 0;
};
