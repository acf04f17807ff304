#include "shell/run.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/version.h"
#include "display/display.h"
#include "display/file_write.h"
#include "scene/report.h"
#include "shell/command_line.h"
#include "shell/process.h"
#include "shell/watch.h"

namespace kx {

namespace {

const char kHelpText[] =
    "Renders a kx scene file (\"-\" reads the scene from standard input).\n"
    "\n"
    "The scene chooses everything: the engine (Engine \"name\"), where images go\n"
    "(Display \"name\" \"PNM\" \"rgb\" or \"PNG\" \"rgb\" for one file per frame,\n"
    "\"Screen\" \"rgbdouble\" for a window), the image size (Format w h), the camera,\n"
    "frames (FrameBegin n ... FrameEnd) and worlds (WorldBegin ... WorldEnd) of\n"
    "objects drawn under transforms, materials, lights and texture maps.\n"
    "\n"
    "Engines:\n"
    "  \"direct\"        scan conversion with a depth buffer (the default)\n"
    "  \"raytrace\"      ray tracing with shadows and mirror reflection\n"
    "  \"data convert\"  writes the scene back as text on standard output\n"
    "  \"scan convert\"  frames and camera only: shows each frame's background\n"
    "\n"
    "OptionBool \"Statistics\" on prints what each frame cost on standard error.\n"
    "The exit status is 0, or the code of the first error.\n"
    "\n"
    "Options (before or after the scene file):\n"
    "  -E NAME, --engine NAME    start in engine NAME and take every Engine command\n"
    "                            as naming it: direct, raytrace, \"data convert\" or\n"
    "                            \"scan convert\"\n"
    "  -o DIR, --output DIR      write image files of relative names under DIR,\n"
    "                            made (with its parents) if missing\n"
    "  --frames LIST             draw and write only the frames of LIST, such as 3,\n"
    "                            1-100, 1-100:5 or 1,4,9-12; the images are those\n"
    "                            of a full run. Images outside any frame are frame 0.\n"
    "                            A LIST that selects none of the scene's frames\n"
    "                            ends the run with status 1\n"
    "  --region X0 Y0 X1 Y1      draw only columns X0..X1-1 and rows Y0..Y1-1 and\n"
    "                            write them as region files, \"<image>.region-X0-Y0-\n"
    "                            X1-Y1\", which kxrender-assemble joins into images\n"
    "  --list-images             draw nothing; print \"image FRAME WIDTH HEIGHT FILE\"\n"
    "                            for every image file the run would write\n"
    "  --watch                   render, then render again whenever the scene file\n"
    "                            or a texture it read changes, until interrupted\n"
    "  -h, --help                this text\n"
    "  --version                 the program's version\n"
    "  --                        the end of the options: a scene file named \"-x\"\n"
    "                            follows as -- -x\n"
    "An option's value may also follow an \"=\": --engine=raytrace, --frames=1-9,\n"
    "--region=X0,Y0,X1,Y1. An unknown option ends the run with status 2.\n";

}  // namespace

void Shutdown(Process& p) {
    p.input.close();
    if (RenderEngine* e = p.engine.get()) e->End();
    p.display.dev().DisplayClose();
    p.engine.destroy();
}

namespace {

// Whether the idle callback is inside a parse step.
bool& inParseStep() {
    static bool inside = false;
    return inside;
}

// The one way out of an open window: the run is shut down once, whatever
// asked for the end, and the process ends with the scene's status. The
// toolkit's loop is never unwound, so the process ends here, without the
// static destructors (the shutdown has released what they would). The
// toolkit calls it without context, so it finds the run through process().
[[noreturn]] void LeaveWindowRun() {
    static bool leaving = false;
    Process& p = process();
    // Inside a parse step (the window system lost while a pixel was drawn)
    // the engine is in the middle of its work, its threads perhaps still
    // tracing: nothing is shut down under them.
    if (!leaving && !inParseStep()) {
        leaving = true;
        Shutdown(p);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(p.display.exitStatus & 0xff);
}

// Parsing continues here, one step per idle call, once a window is open:
// false once the scene is parsed or has failed.
bool IdleStep() {
    Process& p = process();
    inParseStep() = true;
    int result = p.parser.ParseStep();
    if (RenderEngine* e = p.engine.get()) e->finishDrawing();
    inParseStep() = false;
    // A later run of --watch opens its display here, in the window open.
    if (result == 2) result = p.display.dev().DisplayOpen();
    if (result == 0) return true;
    if (result != 1) {
        ReportError(result, "input file", p.input);
        p.display.exitStatus = result;
    } else {
        p.display.exitStatus = CheckFramesSelected(p, "input file");
    }
    p.input.close();
    return false;
}

}  // namespace

int RunProgram(int argc, char** argv) {
    if (argc <= 1) {
        std::fprintf(stderr, "Usage: %s  kx_file\n", argv[0]);
        return 0;
    }
    CommandLine line;
    if (int status = ReadCommandLine(argc, argv, line)) return status;
    if (line.help) {
        std::printf("Usage: %s  kx_file\n\n%s", argv[0], kHelpText);
        return 0;
    }
    if (line.version) {
        std::printf("kxrender %s\n", Version());
        return 0;
    }
    RemoveTemporaryOnInterrupt();
    const WindowHooks hooks{.argc = &argc, .argv = argv, .idle = IdleStep, .leave = LeaveWindowRun};
    if (line.watch) return RunWatched(process(), line, hooks);
    Process& p = process();
    const std::string& file = line.file;
    int status = p.input.open(file);
    if (status != 0) {
        ReportError(status, file, p.input);
        return status;
    }
    p.parser.reset();
    p.sceneFolder.setFromScene(file);
    ApplyCommandLine(line, p);
    DisplayState& display = p.display;
    display.window = hooks;
    return RunOpenedScene(p, file);
}

int BeginOpenedScene(Process& p, const std::string& file) {
    int unused = 0;
    p.engine.set(p.makeEngine(p.engine.named("direct"), unused));
    int status = p.engine.get()->Begin();
    if (status != 0) {
        ReportError(status, file, p.input);
        p.engine.destroy();
    }
    return status;
}

int RunOpenedScene(Process& p, const std::string& file) {
    int status = BeginOpenedScene(p, file);
    if (status != 0) return status;

    for (;;) {
        int result = p.parser.ParseStep();
        if (result == 0) continue;
        if (result == 1) {
            status = 0;
            break;
        }
        if (result == 2) {
            // A display that cannot open ends the run here: later frames would
            // have nowhere to go.
            int opened = p.display.dev().DisplayOpen();
            if (opened != 0) {
                ReportError(opened, file, p.input);
                status = opened;
                break;
            }
            continue;
        }
        ReportError(result, file, p.input);
        status = result;
        break;
    }
    Shutdown(p);
    if (status == 0) status = CheckFramesSelected(p, file);
    return status;
}

}  // namespace kx
