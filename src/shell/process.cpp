#include "shell/process.h"

#include "core/errors.h"
#include "engines/direct/direct_engine.h"

namespace kx {

Process::Process() {
    engine.factory = [this](const std::string& name, int& status) { return makeEngine(name, status); };
}

std::unique_ptr<RenderEngine> Process::makeEngine(const std::string& name, int& status) {
    status = 0;
    if (name == "direct") return std::make_unique<REDirect>(context, direct, maps);
    if (name == "raytrace") return std::make_unique<RERay>(context, ray);
    if (name == "data convert") return std::make_unique<REEcho>(echo);
    if (name == "scan convert") return std::make_unique<REScan>(context, scan);
    status = kErrUnknownEngine;
    return std::make_unique<REDirect>(context, direct, maps);
}

void Process::reset() {
    engine.destroy();
    engine.factory = [this](const std::string& name, int& status) { return makeEngine(name, status); };
    engine.forced.clear();
    input.close();
    parser.reset();
    objects.reset();
    display.reset();
    transforms.reset();
    lights.reset();
    maps.reset();
    sceneFolder.reset();
    direct.reset();
    ray.reset();
    echo.reset();
    scan.reset();
    stats.reset();
}

Process& process() {
    static Process instance;
    return instance;
}

}  // namespace kx
