// What the command line asks of a run: the scene file and the options that
// choose what of it is drawn, where images go and how the run goes on.
#pragma once

#include <string>

#include "display/image_selection.h"

namespace kx {

class Process;

struct CommandLine {
    std::string file;          // the scene file, "-" for standard input
    ImageSelection selection;  // --frames, --region, --list-images
    std::string engine;        // --engine NAME: empty, or the engine every Engine command names
    std::string outputDir;     // --output DIR: empty, or the folder relative image names go under
    bool watch = false;        // --watch: render again whenever the scene or a file it read changes
    bool help = false;         // -h, --help
    bool version = false;      // --version
};

// Reads argv into line. 0, or the exit status after a message on the error
// stream.
int ReadCommandLine(int argc, char** argv, CommandLine& line);

// Puts what the command line asks of a run into a process that was just
// reset (a new run starts from it, and so does every run of --watch).
void ApplyCommandLine(const CommandLine& line, Process& p);

}  // namespace kx
