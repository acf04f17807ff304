#include "interface/render_engine.h"

#include <cstdio>

namespace kx {

int NotImplemented(const char* command) {
    std::fprintf(stderr, "%s command not implemented. Ignoring.\n", command);
    std::fflush(stderr);
    return 0;
}

int OptionNotImplemented(const char* command, const char* option) {
    std::fprintf(stderr, "Option \"%s\" not implemented for %s command. Ignoring.\n", option, command);
    std::fflush(stderr);
    return 0;
}

// The default of every operation, from the command list.
#define KX_COMMAND(Keyword, Context, Drawing, Gaps, Parameters) \
    int RenderEngine::Keyword Parameters { return NotImplemented(#Keyword); }
#define KX_OPERATION(Operation, Parameters, Default) \
    int RenderEngine::Operation Parameters { return Default; }
#include "interface/commands.def"

}  // namespace kx
