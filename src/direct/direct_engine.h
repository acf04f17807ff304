// Placeholder: replaced by the engine's implementation.
#pragma once

#include "engine/render_engine.h"

namespace kx {

class REDirect : public RenderEngine {
public:
    REDirect();
    ~REDirect() override;
};

}  // namespace kx
