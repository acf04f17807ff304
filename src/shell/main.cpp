#include "shell/run.h"

int main(int argc, char** argv) { return kx::RunProgram(argc, argv); }
