// Placeholder: replaced by the engine's implementation.
#pragma once

#include "engine/render_engine.h"

namespace kx {

class RERay : public RenderEngine {
public:
    RERay();
    ~RERay() override;
};

}  // namespace kx
