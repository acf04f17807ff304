// Placeholder: replaced by the engine's implementation.
#pragma once

#include "engine/render_engine.h"

namespace kx {

class REEcho : public RenderEngine {
public:
    REEcho();
    ~REEcho() override;
};

}  // namespace kx
