// SPDX-License-Identifier: MIT
// probedesk: the board test bench program.
#include "forms/toolkit.h"
#include "testbench/Main.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        forms::Application->Initialize();
        // The taskbar button and the error message boxes carry the program's name.
        forms::Application->SetTitle("probedesk");
        forms::Application->CreateForm(FMain);
        forms::Application->Run();
    } catch (const std::exception& error) {
        forms::Application->ShowException(error);
    }
    return 0;
}
