// The query layout of a tree whose boxes are all finite and in order: a
// binary hierarchy over the tree's leaves, built top down with the
// surface-area heuristic over 16 bins of the leaves' centres on every axis
// (of an even sample of them in a range of many).
//
// The insertion tree is kept for what it answers besides the queries (its
// height, the dump); its shape follows the order of the scene and can be
// far deeper than the scene needs. Every ancestor's box in either tree
// holds its leaves' boxes, so a ray reaches a leaf in either exactly when
// it meets the leaf's own box, and the nearest hit is the same; of hits at
// the same t the walk keeps the leaf of the highest rank, the one the
// insertion tree's depth-first walk would have met last.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engines/raytrace/bounding_tree.h"

namespace kx::raytrace {

namespace {

constexpr int kBins = 16;
// A range of more leaves than this bins an even sample of about as many.
constexpr size_t kSample = 4096;
// Splits past this depth halve the range by count, so that no shape of
// scene makes the hierarchy (and the build's recursion) deep.
constexpr int kAreaDepth = 48;

struct Box {
    double lower[3], upper[3];
    void empty() {
        for (int i = 0; i < 3; ++i) {
            lower[i] = std::numeric_limits<double>::infinity();
            upper[i] = -std::numeric_limits<double>::infinity();
        }
    }
    void grow(const double lo[3], const double hi[3]) {
        for (int i = 0; i < 3; ++i) {
            lower[i] = std::min(lower[i], lo[i]);
            upper[i] = std::max(upper[i], hi[i]);
        }
    }
    double halfArea() const { return HalfArea(lower, upper); }
};

inline double Centre(const FlatNode& n, int axis) { return n.lower[axis] + n.upper[axis]; }

class Builder {
public:
    Builder(std::vector<FlatNode>& leaves, const Point3* eye, std::vector<FlatNode>& flat)
        : leaves_(leaves), eye_(eye), flat_(flat) {}

    void build(size_t begin, size_t end, int depth) {
        if (end - begin == 1) {
            flat_.push_back(leaves_[begin]);
            flat_.back().skip = static_cast<uint32_t>(flat_.size());
            return;
        }
        Box box, centres;
        box.empty();
        centres.empty();
        for (size_t i = begin; i < end; ++i) {
            const FlatNode& l = leaves_[i];
            box.grow(l.lower, l.upper);
            const double c[3] = {Centre(l, 0), Centre(l, 1), Centre(l, 2)};
            centres.grow(c, c);
        }
        int axis = -1;
        double plane = 0;
        size_t middle = begin;
        if (depth < kAreaDepth) split(begin, end, centres, axis, plane, middle);
        if (axis < 0) {
            // By count, along the widest spread of centres.
            axis = 0;
            for (int i = 1; i < 3; ++i)
                if (centres.upper[i] - centres.lower[i] > centres.upper[axis] - centres.lower[axis]) axis = i;
            middle = begin + (end - begin) / 2;
            std::nth_element(leaves_.begin() + static_cast<std::ptrdiff_t>(begin),
                             leaves_.begin() + static_cast<std::ptrdiff_t>(middle),
                             leaves_.begin() + static_cast<std::ptrdiff_t>(end),
                             [axis](const FlatNode& a, const FlatNode& b) {
                                 const double ca = Centre(a, axis), cb = Centre(b, axis);
                                 return ca < cb || (ca == cb && a.rank < b.rank);
                             });
            plane = Centre(leaves_[middle], axis);
        }
        const size_t at = flat_.size();
        FlatNode node{};
        for (int i = 0; i < 3; ++i) {
            node.lower[i] = box.lower[i];
            node.upper[i] = box.upper[i];
        }
        node.object = nullptr;
        flat_.push_back(node);
        // The half nearer the eye first: its hits shorten the rays that
        // then test the other half.
        if (eye_ && (*eye_)[axis] * 2 > plane) {
            build(middle, end, depth + 1);
            build(begin, middle, depth + 1);
        } else {
            build(begin, middle, depth + 1);
            build(middle, end, depth + 1);
        }
        flat_[at].skip = static_cast<uint32_t>(flat_.size());
    }

private:
    // The split of least estimated cost: leaves [begin, middle) have their
    // centres below plane on axis. axis stays -1 when every split leaves a
    // side empty (centres that coincide).
    void split(size_t begin, size_t end, const Box& centres, int& axis, double& plane, size_t& middle) {
        double lo[3], scale[3];
        bool spread[3];
        for (int a = 0; a < 3; ++a) {
            lo[a] = centres.lower[a];
            const double extent = centres.upper[a] - lo[a];
            spread[a] = extent > 0;
            scale[a] = spread[a] ? kBins / extent : 0;
        }
        // The bins of every axis in one pass; a range of many leaves bins an
        // even sample of them.
        Box bins[3][kBins];
        size_t counts[3][kBins] = {};
        for (Box(&axisBins)[kBins] : bins)
            for (Box& b : axisBins) b.empty();
        const size_t step = (end - begin) / kSample + 1;
        for (size_t i = begin; i < end; i += step) {
            const FlatNode& l = leaves_[i];
            for (int a = 0; a < 3; ++a) {
                if (!spread[a]) continue;
                const int b = BinOf(Centre(l, a), lo[a], scale[a]);
                bins[a][b].grow(l.lower, l.upper);
                ++counts[a][b];
            }
        }
        double best = std::numeric_limits<double>::infinity();
        int bestBin = 0;
        for (int a = 0; a < 3; ++a) {
            if (!spread[a]) continue;
            // The area and count of bins [b, kBins) for each b.
            double rightArea[kBins];
            size_t rightCount[kBins];
            Box acc;
            acc.empty();
            size_t n = 0;
            for (int b = kBins - 1; b > 0; --b) {
                acc.grow(bins[a][b].lower, bins[a][b].upper);
                n += counts[a][b];
                rightArea[b] = n ? acc.halfArea() : 0;
                rightCount[b] = n;
            }
            acc.empty();
            n = 0;
            for (int b = 1; b < kBins; ++b) {
                acc.grow(bins[a][b - 1].lower, bins[a][b - 1].upper);
                n += counts[a][b - 1];
                if (n == 0 || rightCount[b] == 0) continue;
                const double cost =
                    acc.halfArea() * static_cast<double>(n) + rightArea[b] * static_cast<double>(rightCount[b]);
                if (cost < best) {
                    best = cost;
                    axis = a;
                    bestBin = b;
                }
            }
        }
        if (axis < 0) return;
        const int a = axis;
        auto mid = std::partition(leaves_.begin() + static_cast<std::ptrdiff_t>(begin),
                                  leaves_.begin() + static_cast<std::ptrdiff_t>(end),
                                  [&](const FlatNode& l) { return BinOf(Centre(l, a), lo[a], scale[a]) < bestBin; });
        middle = static_cast<size_t>(mid - leaves_.begin());
        plane = lo[a] + bestBin / scale[a];
        if (middle == begin || middle == end) axis = -1;
    }

    static int BinOf(double c, double lo, double scale) {
        const int b = static_cast<int>((c - lo) * scale);
        return b < 0 ? 0 : b >= kBins ? kBins - 1 : b;
    }

    std::vector<FlatNode>& leaves_;
    const Point3* eye_;
    std::vector<FlatNode>& flat_;
};

}  // namespace

void LayOutByArea(std::vector<FlatNode>& leaves, const Point3* eye, std::vector<FlatNode>& flat) {
    flat.clear();
    if (leaves.empty()) return;
    flat.reserve(2 * leaves.size() - 1);
    Builder(leaves, eye, flat).build(0, leaves.size(), 0);
}

}  // namespace kx::raytrace
