// The pieces of the one Process the tests read and set, under short names.
#pragma once

#include "shell/process.h"

namespace kx {

inline EchoState& echoState() { return process().echo; }
inline ScanState& scanState() { return process().scan; }

// The statistics hooks, on the process's statistics.
inline void BeginFrameStats(int frame) { process().stats.beginFrame(frame); }
inline void CountPolygon() { process().stats.countPolygon(); }
inline void CountPixelShaded() { process().stats.countPixelShaded(); }
inline void CountRay() { process().stats.countRay(); }
inline void CountObject() { process().stats.countObject(); }
inline void ReportFrame(std::initializer_list<FrameStats::Count> counts) { process().stats.reportFrame(counts); }
inline void ReportRowsDone(int done, int total) { process().stats.reportRowsDone(done, total); }
inline void ClearProgress() { process().stats.clearProgress(); }

}  // namespace kx
