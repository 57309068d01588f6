// SPDX-License-Identifier: MIT
// The clock keeper horalign: keeps the PC's clock on the TCR7750 board,
// unattended, behind a tray icon.
#include "Main1.h"

using namespace forms;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        Application->Initialize();
        Application->SetTitle("TCR680 - horalign");
        Application->CreateForm(Form1);
        Application->Run();
    } catch (const std::exception& error) {
        Application->ShowException(error);
    }
    return 0;
}
