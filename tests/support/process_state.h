// The pieces of the one Process the tests read and set, under short names.
#pragma once

#include <string>

#include "engines/raytrace/tracer.h"
#include "shell/process.h"

namespace kx {

inline EchoState& echoState() { return process().echo; }
inline ScanState& scanState() { return process().scan; }

// The display commands, on the process's display.
inline int SelectDisplay(const std::string& name, const std::string& type, const std::string& mode) {
    return SelectDisplay(process().display, name, type, mode);
}
inline int SetFormat(int width, int height) { return SetFormat(process().display, width, height); }

// The statistics hooks, on the process's statistics.
inline void BeginFrameStats(int frame) { process().stats.beginFrame(frame); }
inline void CountPolygon() { process().stats.countPolygon(); }
inline void CountPixelShaded() { process().stats.countPixelShaded(); }
inline void CountRay() { process().stats.countRay(); }
inline void CountObject() { process().stats.countObject(); }
inline void ReportFrame(std::initializer_list<FrameStats::Count> counts) { process().stats.reportFrame(counts); }
inline void ReportRowsDone(int done, int total) { process().stats.reportRowsDone(done, total); }
inline void ClearProgress() { process().stats.clearProgress(); }

inline DirectState& directState() { return process().direct; }
inline BezierWork& bezierWork() { return process().direct.bezier; }
inline RayState& rayState() { return process().ray; }
// A ray traced through the process's scene and lights, its rays not counted.
inline ColorRGB Trace(const Ray& ray, int level) {
    return raytrace::Trace({process().ray.scene, process().lights, process().ray.background}, ray, level);
}
inline TransformState& transforms() { return process().transforms; }
inline LightSet& lightSet() { return process().lights; }
inline MapList& mapList() { return process().maps; }
inline FrameStats& frameStats() { return process().stats; }
inline SceneInput& sceneInput() { return process().input; }
inline ObjectTable& objectTable() { return process().objects; }
inline SceneParser& sceneParser() { return process().parser; }
inline CurrentEngine& currentEngine() { return process().engine; }
inline DisplayState& displayState() { return process().display; }

}  // namespace kx
