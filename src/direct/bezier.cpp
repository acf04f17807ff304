// Bezier curves and patches of the direct engine.
#include "direct/direct_engine.h"
#include "direct/direct_state.h"
#include "direct/pipeline.h"

namespace kx {

int REDirect::Curve(const std::string& vtype, int degree, const float* vertices) {
    return RenderEngine::Curve(vtype, degree, vertices);
}
int REDirect::Patch(const std::string& vtype, int udegree, int vdegree, const float* vertices) {
    return RenderEngine::Patch(vtype, udegree, vdegree, vertices);
}

}  // namespace kx
