#include "interface/current_engine.h"

#include "core/errors.h"

namespace kx {

int CurrentEngine::select(const std::string& name) {
    engine_.reset();
    int status = 0;
    if (factory) engine_ = factory(named(name), status);
    if (!engine_) {
        engine_ = std::make_unique<RenderEngine>();
        status = kErrUnknownEngine;
    }
    return status;
}

}  // namespace kx
