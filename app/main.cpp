// Entry point of the program. It takes no arguments.
#include "app/program.h"

int main() {
    return runProgram();
}
