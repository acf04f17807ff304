#include "raytrace/ray_engine.h"

namespace kx {

RERay::RERay() = default;
RERay::~RERay() = default;

}  // namespace kx
