#include "direct/texture.h"
