#include "engines/scan_engine.h"

namespace kx {

REScan::REScan() = default;
REScan::~REScan() = default;

}  // namespace kx
