// Bezier curves and patches of the direct engine.
//
// The control points are turned once into pipeline vertex records (screen
// position in floats 0..3, then the attributes of the pipeline layout in
// world space: position, colour, normal, texture coordinates in texel units)
// and the curve or surface is evaluated by repeated linear interpolation of
// whole records (de Casteljau), so that every attribute follows the
// position. Curves become polylines through a line sink, patches
// quadrilaterals through a vertex sink, each vertex with the quadrilateral's
// world-space face normal; the engine's sinks are TransformedLineVertex and
// TransformedVertex, tests record. The working storage is the state's
// (DirectState::bezier).
#pragma once

#include <string>
#include <vector>

#include "core/math.h"
#include "engines/direct/pipeline.h"
#include "engines/direct/vertex_layout.h"
#include "surface/bezier_patch.h"

namespace kx {

using LineSink = void (*)(DirectPipeline& p, const AttributeVertex& v, bool draw);
using QuadSink = int (*)(DirectPipeline& p, const AttributeVertex& v, bool last, const FaceNormal& face);

// Curve of the given degree (degree + 1 control points laid out by the
// vertex type) drawn through p with n segments (n already clamped, see
// TessellationDivisions). Returns 0 or -10 for an unusable vertex type.
int DrawBezierCurve(DirectPipeline& p, const std::string& vertexType, int degree, const float* points, int n,
                    LineSink line);

// Patch of u degree m and v degree k ((m + 1) * (k + 1) control points, u
// varying fastest) drawn through p as n x n quadrilaterals, with the control
// mesh first when the Control option is on. Returns 0 or -10.
int DrawBezierPatch(DirectPipeline& p, const std::string& vertexType, int m, int k, const float* points, int n,
                    QuadSink quad, LineSink line);

}  // namespace kx
