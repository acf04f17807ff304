// The building of the bounding tree: insertion by least added area, the
// depth-first layout of the queries, and clearing, height and the
// diagnostic dump. The queries are in bounding_tree_walk.cpp.
#include "engines/raytrace/bounding_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <utility>

#include "engines/raytrace/objects.h"

namespace kx::raytrace {

namespace {

void SetBox(TreeNode& n, const double lower[3], const double upper[3]) {
    for (int i = 0; i < 3; ++i) {
        n.lower[i] = lower[i];
        n.upper[i] = upper[i];
    }
    n.area = HalfArea(n.lower, n.upper);
}

// Half area of the union of a node's box with another box.
double UnionHalfArea(const TreeNode& n, const double lower[3], const double upper[3]) {
    double lo[3], hi[3];
    for (int i = 0; i < 3; ++i) {
        lo[i] = lower[i] < n.lower[i] ? lower[i] : n.lower[i];
        hi[i] = upper[i] > n.upper[i] ? upper[i] : n.upper[i];
    }
    return HalfArea(lo, hi);
}

double MergeCost(const TreeNode& n, const double lower[3], const double upper[3]) {
    return UnionHalfArea(n, lower, upper) - n.area;
}

double InsertionCost(const TreeNode& n, const double lower[3], const double upper[3]) {
    double u = UnionHalfArea(n, lower, upper);
    if (n.firstChild) return (u - n.area) * n.childCount + u;
    return 2 * u;
}

}  // namespace

double HalfArea(const double lower[3], const double upper[3]) {
    double dx = upper[0] - lower[0];
    double dy = upper[1] - lower[1];
    double dz = upper[2] - lower[2];
    return (dy + dz) * dx + dy * dz;
}

bool BoundingTree::Insert(GrObject* object, const Point3& lower, const Point3& upper) {
    double lo[3] = {lower.x, lower.y, lower.z};
    double hi[3] = {upper.x, upper.y, upper.z};
    return Insert(object, lo, hi);
}

namespace {

// Two leaves with the same box.
bool SameLeafBox(const TreeNode& a, const TreeNode& b) {
    if (a.firstChild || b.firstChild) return false;
    for (int i = 0; i < 3; ++i)
        if (!(a.lower[i] == b.lower[i] && a.upper[i] == b.upper[i])) return false;
    return true;
}

// The sibling after n, or after the run of equal leaves that n starts.
TreeNode* NextRun(const TreeNode* n) { return n->firstChild ? n->nextSibling : n->runLast->nextSibling; }

// Whether a box has finite corners in order on every axis. The search of
// Insert may stop early only while every box of the tree is such a box:
// then every area and cost is a finite number, never negative.
bool OrderedFinite(const double lower[3], const double upper[3]) {
    for (int i = 0; i < 3; ++i)
        if (!(std::isfinite(lower[i]) && std::isfinite(upper[i]) && lower[i] <= upper[i])) return false;
    return true;
}

}  // namespace

bool BoundingTree::Insert(GrObject* object, const double lower[3], const double upper[3]) {
    flat_.clear();
    // Everything that can fail is asked for before the tree changes. A leaf
    // may be split below, so room on Clear's stack for two more nodes.
    TreeNode* node;
    try {
        if (stack_.size() < nodeCount_ + 3) stack_.resize(2 * (nodeCount_ + 3));
        node = new TreeNode;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    node->object = object;
    SetBox(*node, lower, upper);
    node->runLast = node;
    const bool ordered = orderedBoxes_ && OrderedFinite(node->lower, node->upper);
    if (!root_) {
        root_ = node;
        ++nodeCount_;
        orderedBoxes_ = ordered;
        return true;
    }

    TreeNode* best = root_;
    if (useBoundingTree) {
        // Breadth first from the root, into the children whose box grows
        // least (all of them on a tie); the first node of least insertion
        // cost takes the new one.
        //
        // With ordered finite boxes no node costs less than the new box's
        // own half area h (a node's box grown by the new box covers the new
        // box), and no leaf less than 2h. A node that cannot cost less than
        // the best so far cannot be chosen (only a strictly lower cost is),
        // so the search stops once the best costs h, and does not look into
        // children that are all leaves once the best costs 2h or less. Equal
        // boxes, boxes without area and objects on top of each other would
        // otherwise make every insertion walk all of their tied siblings.
        const bool bound = ordered;
        const double least = node->area;
        const double leastLeaf = 2 * node->area;
        double bestCost = InsertionCost(*root_, node->lower, node->upper);
        ++insertVisits_;
        queue_.clear();
        try {
            queue_.push_back(root_);
            for (size_t head = 0; head < queue_.size(); ++head) {
                if (bound && bestCost <= least) break;
                if (std::isnan(bestCost)) break;  // no cost is less than NaN
                TreeNode* n = queue_[head];
                double c = InsertionCost(*n, node->lower, node->upper);
                if (c < bestCost) {
                    best = n;
                    bestCost = c;
                }
                if (!n->firstChild) continue;
                if (bound && n->interiorChildren == 0 && bestCost <= leastLeaf) continue;
                // Of a run of leaves with equal boxes only the first can be
                // chosen: the others cost the same and come after it.
                double m = std::numeric_limits<double>::infinity();
                for (TreeNode* ch = n->firstChild; ch; ch = NextRun(ch)) {
                    ++insertVisits_;
                    double mc = MergeCost(*ch, node->lower, node->upper);
                    if (mc < m) m = mc;
                }
                for (TreeNode* ch = n->firstChild; ch; ch = NextRun(ch))
                    if (MergeCost(*ch, node->lower, node->upper) == m) queue_.push_back(ch);
            }
        } catch (const std::bad_alloc&) {
            delete node;
            return false;
        }
    }

    if (!best->firstChild) {
        // A leaf becomes interior: its object moves into a new only child.
        TreeNode* moved;
        try {
            moved = new TreeNode;
        } catch (const std::bad_alloc&) {
            delete node;
            return false;
        }
        ++nodeCount_;
        moved->object = best->object;
        SetBox(*moved, best->lower, best->upper);
        moved->parent = best;
        best->object = nullptr;
        best->firstChild = moved;
        best->childCount = 1;
        if (best->parent) best->parent->interiorChildren += 1;
        // best started its run of equal leaves: the rest run on without it.
        if (best->runLast != best && best->nextSibling) best->nextSibling->runLast = best->runLast;
        best->runLast = nullptr;
        moved->runLast = moved;
    }
    ++nodeCount_;
    node->parent = best;
    node->nextSibling = best->firstChild;
    node->runLast = SameLeafBox(*node, *best->firstChild) ? best->firstChild->runLast : node;
    best->firstChild = node;
    best->childCount += 1;

    for (TreeNode* n = best; n; n = n->parent) {
        for (int i = 0; i < 3; ++i) {
            if (node->lower[i] < n->lower[i]) n->lower[i] = node->lower[i];
            if (node->upper[i] > n->upper[i]) n->upper[i] = node->upper[i];
        }
        n->area = HalfArea(n->lower, n->upper);
    }
    orderedBoxes_ = ordered;
    return true;
}

bool BoundingTree::Prepare(const Point3* eye) {
    flat_.clear();
    if (!root_) return true;
    // Skips and ranks are 32 bits, and the layout over the leaves has up to
    // twice as many nodes as the tree.
    if (nodeCount_ >= UINT32_MAX / 2) return false;
    try {
        // With boxes finite and in order, the leaves in depth-first order
        // (their ranks) for a hierarchy of their own; else the tree itself.
        const bool byArea = orderedBoxes_;
        std::vector<FlatNode> leaves;
        std::vector<FlatNode>& out = byArea ? leaves : flat_;
        out.reserve(nodeCount_);
        // Preorder with an explicit stack; a node's entry is closed (its
        // skip set) when everything pushed above it has been laid out.
        struct Entry {
            const TreeNode* node;
            size_t index;  // its place in out once laid out, else SIZE_MAX
        };
        std::vector<Entry> pending;
        pending.reserve(nodeCount_ + 1);
        pending.push_back({root_, SIZE_MAX});
        uint32_t rank = 0;
        while (!pending.empty()) {
            Entry e = pending.back();
            pending.pop_back();
            if (e.index != SIZE_MAX) {
                out[e.index].skip = static_cast<uint32_t>(out.size());
                continue;
            }
            const TreeNode* n = e.node;
            FlatNode f;
            for (int i = 0; i < 3; ++i) {
                f.lower[i] = n->lower[i];
                f.upper[i] = n->upper[i];
            }
            f.object = n->firstChild ? nullptr : n->object;
            f.skip = 0;
            f.rank = f.object ? rank++ : 0;
            if (!byArea || f.object) {
                if (!byArea) pending.push_back({n, out.size()});
                out.push_back(f);
            }
            // The children, so that they pop in list order.
            size_t top = pending.size();
            for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) pending.push_back({c, SIZE_MAX});
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(top), pending.end());
        }
        if (byArea) LayOutByArea(leaves, eye, flat_);
    } catch (const std::bad_alloc&) {
        flat_.clear();
        flat_.shrink_to_fit();
        return false;
    }
    return true;
}

void BoundingTree::Bounds(double lower[3], double upper[3]) const {
    for (int i = 0; i < 3; ++i) {
        lower[i] = root_ ? root_->lower[i] : 0;
        upper[i] = root_ ? root_->upper[i] : 0;
    }
}

void BoundingTree::Clear() {
    flat_.clear();
    flat_.shrink_to_fit();
    if (root_) {
        // Every node is pushed exactly once, so the stack never holds more
        // than nodeCount_ entries.
        const TreeNode** stack = stack_.data();
        size_t sp = 0;
        stack[sp++] = root_;
        while (sp > 0) {
            TreeNode* n = const_cast<TreeNode*>(stack[--sp]);
            if (n->firstChild) stack[sp++] = n->firstChild;
            if (n->nextSibling) stack[sp++] = n->nextSibling;
            if (!objectsShared) delete n->object;
            delete n;
        }
    }
    root_ = nullptr;
    nodeCount_ = 0;
    orderedBoxes_ = true;
    seeThrough = false;
}

int BoundingTree::Height() const {
    int height = 0;
    std::vector<std::pair<const TreeNode*, int>> pending;
    if (root_) pending.emplace_back(root_, 1);
    while (!pending.empty()) {
        auto [n, level] = pending.back();
        pending.pop_back();
        if (level > height) height = level;
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) pending.emplace_back(c, level + 1);
    }
    return height;
}

void BoundingTree::Print() const {
    std::fputs(Describe().c_str(), stderr);
    std::fflush(stderr);
}

std::string BoundingTree::Describe() const {
    std::string text;
    std::vector<std::pair<const TreeNode*, int>> pending;
    if (root_) pending.emplace_back(root_, 0);
    std::vector<const TreeNode*> children;
    char line[128];  // a line's text after its indent: three numbers of at most 13 characters
    while (!pending.empty()) {
        auto [n, depth] = pending.back();
        pending.pop_back();
        const size_t indent = 3 * static_cast<size_t>(depth);
        // Numbers as a standard stream writes them by default ("%g").
        std::snprintf(line, sizeof line, "lower:  (%g, %g, %g)\n", n->lower[0], n->lower[1], n->lower[2]);
        text.append(indent, ' ').append(line);
        std::snprintf(line, sizeof line, "higher: (%g, %g, %g)\n", n->upper[0], n->upper[1], n->upper[2]);
        text.append(indent, ' ').append(line);
        std::snprintf(line, sizeof line, "surface: %g    n_child: %d\n\n", n->area, n->childCount);
        text.append(indent, ' ').append(line);
        children.clear();
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) children.push_back(c);
        for (size_t i = children.size(); i > 0; --i) pending.emplace_back(children[i - 1], depth + 1);
    }
    return text;
}

}  // namespace kx::raytrace
