// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// The command line and the show command are not used; the window is always shown.
#include <windows.h>

#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runProgram();
}
