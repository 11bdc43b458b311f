// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// The command line and the show command are not used (the options of the Linux program have
// no console to answer on here); the window is always shown.
#include <windows.h>

#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runProgram();
}
