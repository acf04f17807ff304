#include "direct/direct_engine.h"

namespace kx {

REDirect::REDirect() = default;
REDirect::~REDirect() = default;

}  // namespace kx
