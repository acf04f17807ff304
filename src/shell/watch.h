// Watch mode (--watch): the scene is run, then run again whenever the scene
// file or a map file the run read changes, until the process is interrupted.
// Every run starts from a fresh state, as a new process would; an open
// window is drawn again in place, files are written again.
#pragma once

#include "display/screen_device.h"
#include "shell/command_line.h"
#include "shell/process.h"

namespace kx {

// Runs line's scene under watch. hooks are those of a plain run; their idle
// step goes on parsing a scene whose window is open, and the watch waits
// for changes between the steps once the scene is done. Returns only when
// the watch cannot go on: 1 when the scene's folder cannot be watched,
// after one line on standard error (the command line refuses the scene "-").
// SIGINT, SIGTERM and SIGHUP end the process as they end a plain run.
int RunWatched(Process& p, const CommandLine& line, const WindowHooks& hooks);

}  // namespace kx
