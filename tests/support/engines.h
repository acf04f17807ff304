// Comparing what the direct engine and the ray tracer make of one scene,
// lit by the ambient light alone (every surface shows its flat colour, or
// its texture, with Ka 1).
#pragma once

#include <string>
#include <vector>

#include "support/run.h"

namespace kxtest {

// The scene reduced to what both engines draw, under the given engine
// ("direct" or "raytrace"), written as one PPM file named "flat": no lights,
// no coefficients (Ka is 1 in both engines) but the emission's (Emit, Ke:
// both engines add it alike) and the opacity's (Opacity), no points, lines, circles,
// curves or fills, no options but "Divisions", "MaxTextureLevel",
// "SubdivisionLevel" and "Interpolate". Only the world block number world (from 0) is kept, so
// that each run writes one image. emptyWorld also drops every surface, for
// the picture of the background.
// divisions > 0 replaces the scene's own "Divisions"; finestLevel replaces
// its "MaxTextureLevel" by 1 (every lookup on level 0).
struct FlatOptions {
    int divisions = 0;
    bool finestLevel = false;
    // The ray tracer's "Levels" (0: its default): how many see-through
    // surfaces one ray crosses, less one.
    int levels = 0;
};
std::string FlatScene(const std::string& scene, const std::string& engine, int world, bool emptyWorld = false,
                      const FlatOptions& options = FlatOptions());

// The number of world blocks of a scene.
int WorldCount(const std::string& scene);

struct EngineAgreement {
    long covered = 0;      // pixels that are not background in either image
    long differing = 0;    // pixels whose colours differ (by more than 2 in a channel)
    long awayFromEdge = 0; // differing pixels with no edge through them in either image
    std::string problem;   // an image missing or of another size
};

// Compares two images of the same scene pixel by pixel. A pixel has an edge
// through it when a neighbour (of the eight) differs from it in the same
// image by more than 2 in a channel; background is the colour of the
// empty world.
EngineAgreement CompareEngines(const Image& direct, const Image& ray, const Image& background);

// Renders the flat scene of world block world under both engines and the
// empty world in folders of dir, which holds a link examples/ to the
// examples (scenes read ../examples/textures/... or textures/...), and
// compares them.
EngineAgreement RenderAndCompare(const std::string& scene, int world, const std::string& dir,
                                 const FlatOptions& options = FlatOptions());

}  // namespace kxtest
