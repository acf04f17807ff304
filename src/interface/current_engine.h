// The slot of the current render engine: the engine the scene selected.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "interface/render_engine.h"

namespace kx {

class CurrentEngine {
public:
    // Creates the engine of a name; sets status to 0, or to -35 for an
    // unknown name (and then returns the default engine).
    using Factory = std::function<std::unique_ptr<RenderEngine>(const std::string& name, int& status)>;

    RenderEngine* get() const { return engine_.get(); }
    RenderEngine& operator*() const { return *engine_; }
    RenderEngine* operator->() const { return engine_.get(); }
    void set(std::unique_ptr<RenderEngine> e) { engine_ = std::move(e); }
    // The Engine command: replaces the current engine. 0 or -35.
    int select(const std::string& name);
    void destroy() { engine_.reset(); }
    // The engine a run takes for one named by the scene (or for the
    // "direct" it starts in): the forced one when there is one.
    std::string named(const std::string& name) const { return forced.empty() ? name : forced; }

    Factory factory;
    // The engine the command line forces (--engine): empty, or the name of
    // the engine the run starts in and every Engine command is taken as.
    std::string forced;

private:
    std::unique_ptr<RenderEngine> engine_;
};

}  // namespace kx
