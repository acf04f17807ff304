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

// Reads argv into line: options before or after the scene file, "--name
// value" or "--name=value" ("--region=X0,Y0,X1,Y1"), "--" before a scene
// file named like an option. 0, or the exit status (2) after a message on
// the error stream: "<program>: unknown option <arg>" and the usage line
// for an unknown option, one line for an option without its value.
int ReadCommandLine(int argc, char** argv, CommandLine& line);

// Puts what the command line asks of a run into a process that was just
// reset (a new run starts from it, and so does every run of --watch).
void ApplyCommandLine(const CommandLine& line, Process& p);

// After a clean run of the scene file: 0, or, when the scene began images
// but --frames selected none of their frames, 1 after the line
// "<program>: --frames <list> selects no frame of <file>" on the error stream.
int CheckFramesSelected(const Process& p, const std::string& file);

}  // namespace kx
