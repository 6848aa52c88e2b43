#include "app/Startup.h"

int main(int argc, char* argv[]) {
    return corvane::runProgram(argc, argv);
}
