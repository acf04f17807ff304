// Placeholder: replaced by the engine's implementation.
#pragma once

#include "engine/render_engine.h"

namespace kx {

class REScan : public RenderEngine {
public:
    REScan();
    ~REScan() override;
};

}  // namespace kx
