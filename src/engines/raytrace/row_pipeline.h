// Rows of an image computed on several threads and handed on in order.
//
// The calling thread starts threads - 1 helpers and works along with them:
// every thread claims the next row not yet claimed and computes it into a
// slot of a small ring; the calling thread alone hands the finished rows on,
// strictly in order 0, 1, ..., height - 1, and no row is computed more than
// a ring's length ahead of the last row handed on. A row's values depend
// only on the row, so the result is the same for any number of threads.
#pragma once

#include <functional>

#include "core/math.h"

namespace kx::raytrace {

// Computes row y (width pixels) into out. Called on any of the threads.
using RowCompute = std::function<void(int y, ColorRGB* out)>;
// Takes the finished row y. Called on the calling thread only, in order.
using RowShow = std::function<void(int y, const ColorRGB* row)>;

// The number of threads a request stands for: 0 means one per CPU the
// process may use (ThreadsFor); never more than rows (at least 1).
int ResolveThreadCount(int requested, int rows);

// Computes and shows every row with up to threads threads (1 or less: all
// on the calling thread, row by row). When helpers cannot be started the
// calling thread does their share. False, with nothing shown, when the
// ring's memory cannot be had or the rows are too wide for a ring of two.
bool RunRows(int width, int height, int threads, const RowCompute& compute, const RowShow& show);

}  // namespace kx::raytrace
