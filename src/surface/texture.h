// Texture maps as the engines use them: PNM, PNG and JPEG files loaded under
// labels by the Map commands, each with a chain of area-averaged reduced
// levels, and the filtered lookup used by the "painted plastic" material.
#pragma once

#include "surface/map_list.h"
#include "surface/texture_levels.h"
#include "surface/texture_load.h"
#include "surface/texture_map.h"
#include "surface/texture_sampling.h"
