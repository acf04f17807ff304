#include "engines/echo_engine.h"

namespace kx {

REEcho::REEcho() = default;
REEcho::~REEcho() = default;

}  // namespace kx
