#include "shell/run.h"

#include <GL/freeglut.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/lights.h"
#include "core/transform.h"
#include "direct/direct_engine.h"
#include "direct/direct_state.h"
#include "surface/texture.h"
#include "engine/current_engine.h"
#include "engine/frame_stats.h"
#include "engines/echo_engine.h"
#include "engines/scan_engine.h"
#include "raytrace/ray_engine.h"
#include "scene/errors.h"
#include "scene/input.h"
#include "scene/objects.h"
#include "scene/parser.h"
#include "shell/display.h"
#include "shell/display_file.h"

namespace kx {

std::unique_ptr<RenderEngine> MakeEngine(const std::string& name, int& status) {
    status = 0;
    if (name == "direct") return std::make_unique<REDirect>();
    if (name == "raytrace") return std::make_unique<RERay>();
    if (name == "data convert") return std::make_unique<REEcho>();
    if (name == "scan convert") return std::make_unique<REScan>();
    status = kErrUnknownEngine;
    return std::make_unique<REDirect>();
}

void ResetProcessState() {
    currentEngine().destroy();
    sceneInput().close();
    sceneParser().reset();
    objectTable().reset();
    displayState().reset();
    transforms().reset();
    lightSet().reset();
    mapList().reset();
    directState().reset();
    rayState().reset();
    echoState().reset();
    scanState().reset();
    frameStats().reset();
}

namespace {

#ifndef KX_VERSION
#define KX_VERSION "unknown"
#endif

// The exit status of a command line that names more than one scene.
constexpr int kUsageStatus = 2;

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
    "Options:\n"
    "  -h, --help  this text\n"
    "  --version   the program's version\n";

// The scene's name for error reports.
std::string& sceneName() {
    static std::string name;
    return name;
}

void OpenSceneState() {
    sceneParser().reset();
}

void Shutdown() {
    sceneInput().close();
    if (RenderEngine* e = currentEngine().get()) e->End();
    displayState().dev().DisplayClose();
    currentEngine().destroy();
}

// Whether the idle callback is inside a parse step.
bool& inParseStep() {
    static bool inside = false;
    return inside;
}

// The one way out of an open window: the run is shut down once, whatever
// asked for the end, and the process ends with the scene's status. The
// toolkit's loop is never unwound, so the process ends here, without the
// static destructors (the shutdown has released what they would).
[[noreturn]] void LeaveWindowRun() {
    static bool leaving = false;
    // Inside a parse step (the window system lost while a pixel was drawn)
    // the engine is in the middle of its work, its threads perhaps still
    // tracing: nothing is shut down under them.
    if (!leaving && !inParseStep()) {
        leaving = true;
        Shutdown();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(displayState().exitStatus & 0xff);
}

// Parsing continues here, one step per idle call, once a window is open.
void IdleStep() {
    inParseStep() = true;
    int result = sceneParser().ParseStep();
    inParseStep() = false;
    if (result == 0) {
        glFlush();
        glutPostRedisplay();
        return;
    }
    if (result != 1) {
        ReportError(result, "input file");
        displayState().exitStatus = result;
    }
    sceneInput().close();
    glutIdleFunc(nullptr);
    glFlush();
    glutPostRedisplay();
}

}  // namespace

int RunProgram(int argc, char** argv) {
    if (argc <= 1) {
        std::fprintf(stderr, "Usage: %s  kx_file\n", argv[0]);
        return 0;
    }
    // One scene per run: a second name is refused, never silently dropped.
    if (argc > 2) {
        std::fprintf(stderr, "%s: one scene file only, not also \"%s\"\nUsage: %s  kx_file\n", argv[0],
                     argv[2], argv[0]);
        return kUsageStatus;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("Usage: %s  kx_file\n\n%s", argv[0], kHelpText);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("kxrender %s\n", KX_VERSION);
        return 0;
    }
    const std::string file = argv[1];
    sceneName() = file;
    RemoveTemporaryOnInterrupt();
    int status = sceneInput().open(file);
    if (status != 0) {
        ReportError(status, file);
        return status;
    }
    OpenSceneState();
    if (file != "-") {
        const size_t slash = file.rfind('/');
        if (slash != std::string::npos) mapList().sceneFolder = slash == 0 ? "/" : file.substr(0, slash);
    }
    DisplayState& display = displayState();
    display.argc = &argc;
    display.argv = argv;
    display.idle = IdleStep;
    display.leave = LeaveWindowRun;
    return RunOpenedScene(file);
}

int RunOpenedScene(const std::string& file) {
    currentEngine().factory = MakeEngine;
    int unused = 0;
    currentEngine().set(MakeEngine("direct", unused));
    int status = currentEngine().get()->Begin();
    if (status != 0) {
        ReportError(status, file);
        currentEngine().destroy();
        return status;
    }

    for (;;) {
        int result = sceneParser().ParseStep();
        if (result == 0) continue;
        if (result == 1) {
            status = 0;
            break;
        }
        if (result == 2) {
            // A display that cannot open ends the run here: later frames would
            // have nowhere to go.
            int opened = displayState().dev().DisplayOpen();
            if (opened != 0) {
                ReportError(opened, file);
                status = opened;
                break;
            }
            continue;
        }
        ReportError(result, file);
        status = result;
        break;
    }
    Shutdown();
    return status;
}

}  // namespace kx
