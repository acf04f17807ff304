#include "raytrace/bounding_tree.h"

#include <iostream>
#include <limits>
#include <utility>

#include "raytrace/objects.h"

namespace kx::render_raytrace {

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

struct DoubleRay {
    double origin[3];
    double direction[3];
    explicit DoubleRay(const Ray& r) {
        for (int i = 0; i < 3; ++i) {
            origin[i] = r.origin[i];
            direction[i] = r.direction[i];
        }
    }
};

// Pushes the children of n so that they pop in list order.
inline void PushChildren(const TreeNode* n, const TreeNode** stack, size_t& sp) {
    size_t top = sp + static_cast<size_t>(n->childCount);
    size_t i = top;
    for (const TreeNode* c = n->firstChild; c && i > sp; c = c->nextSibling) stack[--i] = c;
    sp = top;
}

// Visits, depth first in child-list order, the leaves whose boxes and
// whose ancestors' boxes the ray meets over [tmin, tmax] (tmax as it is at
// each visit). Stops when leaf() returns true and then returns true.
template <class LeafVisit>
bool Walk(const TreeNode* root, const TreeNode** stack, const DoubleRay& r, double tmin, const double& tmax,
          LeafVisit leaf) {
    size_t sp = 0;
    stack[sp++] = root;
    while (sp > 0) {
        const TreeNode* n = stack[--sp];
        if (!SlabTest(n->lower, n->upper, r.origin, r.direction, tmin, tmax)) continue;
        if (n->firstChild)
            PushChildren(n, stack, sp);
        else if (n->object && leaf(n->object))
            return true;
    }
    return false;
}

}  // namespace

double HalfArea(const double lower[3], const double upper[3]) {
    double dx = upper[0] - lower[0];
    double dy = upper[1] - lower[1];
    double dz = upper[2] - lower[2];
    return (dy + dz) * dx + dy * dz;
}

bool SlabTest(const double lower[3], const double upper[3], const double origin[3], const double direction[3],
              double tmin, double tmax) {
    double tnear = tmin, tfar = tmax;
    for (int i = 0; i < 3; ++i) {
        if (direction[i] == 0) {
            if (origin[i] < lower[i] || origin[i] > upper[i]) return false;
            continue;
        }
        double t0 = (lower[i] - origin[i]) / direction[i];
        double t1 = (upper[i] - origin[i]) / direction[i];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > tnear) tnear = t0;
        if (t1 < tfar) tfar = t1;
        if (tnear > tfar) return false;
    }
    return true;
}

bool SlabTest(const double lower[3], const double upper[3], const Ray& ray, double tmin, double tmax) {
    DoubleRay r(ray);
    return SlabTest(lower, upper, r.origin, r.direction, tmin, tmax);
}

void BoundingTree::Insert(GrObject* object, const Point3& lower, const Point3& upper) {
    double lo[3] = {lower.x, lower.y, lower.z};
    double hi[3] = {upper.x, upper.y, upper.z};
    Insert(object, lo, hi);
}

void BoundingTree::Insert(GrObject* object, const double lower[3], const double upper[3]) {
    TreeNode* node = new TreeNode;
    node->object = object;
    SetBox(*node, lower, upper);
    // A leaf may be split below, so room for two more nodes.
    if (stack_.size() < nodeCount_ + 3) stack_.resize(2 * (nodeCount_ + 3));
    ++nodeCount_;
    if (!root_) {
        root_ = node;
        return;
    }

    TreeNode* best = root_;
    if (useBoundingTree) {
        double bestCost = InsertionCost(*root_, node->lower, node->upper);
        queue_.clear();
        queue_.push_back(root_);
        for (size_t head = 0; head < queue_.size(); ++head) {
            TreeNode* n = queue_[head];
            double c = InsertionCost(*n, node->lower, node->upper);
            if (c < bestCost) {
                best = n;
                bestCost = c;
            }
            if (!n->firstChild) continue;
            double m = std::numeric_limits<double>::infinity();
            for (TreeNode* ch = n->firstChild; ch; ch = ch->nextSibling) {
                double mc = MergeCost(*ch, node->lower, node->upper);
                if (mc < m) m = mc;
            }
            for (TreeNode* ch = n->firstChild; ch; ch = ch->nextSibling)
                if (MergeCost(*ch, node->lower, node->upper) == m) queue_.push_back(ch);
        }
    }

    if (!best->firstChild) {
        // A leaf becomes interior: its object moves into a new only child.
        TreeNode* moved = new TreeNode;
        ++nodeCount_;
        moved->object = best->object;
        SetBox(*moved, best->lower, best->upper);
        moved->parent = best;
        best->object = nullptr;
        best->firstChild = moved;
        best->childCount = 1;
    }
    node->parent = best;
    node->nextSibling = best->firstChild;
    best->firstChild = node;
    best->childCount += 1;

    for (TreeNode* n = best; n; n = n->parent) {
        for (int i = 0; i < 3; ++i) {
            if (node->lower[i] < n->lower[i]) n->lower[i] = node->lower[i];
            if (node->upper[i] > n->upper[i]) n->upper[i] = node->upper[i];
        }
        n->area = HalfArea(n->lower, n->upper);
    }
}

bool BoundingTree::NearestHit(double tmin, double tmax, const Ray& ray, double& t, HitRecord& hit,
                              GrObject*& object) const {
    bool found = false;
    if (root_) {
        // tmax shrinks with every hit, so the record last written is the
        // nearest one.
        Walk(root_, stack_.data(), DoubleRay(ray), tmin, tmax, [&](GrObject* o) {
            double th;
            if (o->intersect(tmin, tmax, th, ray, hit)) {
                if (th < tmax) tmax = th;
                found = true;
                object = o;
            }
            return false;
        });
    }
    t = tmax;
    return found;
}

bool BoundingTree::AnyHit(double tmin, double tmax, const Ray& ray) const {
    if (!root_) return false;
    return Walk(root_, stack_.data(), DoubleRay(ray), tmin, tmax,
                [&](GrObject* o) { return o->occludes(tmin, tmax, ray); });
}

void BoundingTree::Bounds(double lower[3], double upper[3]) const {
    for (int i = 0; i < 3; ++i) {
        lower[i] = root_ ? root_->lower[i] : 0;
        upper[i] = root_ ? root_->upper[i] : 0;
    }
}

void BoundingTree::Clear() {
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

void BoundingTree::Print() const { Print(std::cerr); }

void BoundingTree::Print(std::ostream& os) const {
    std::vector<std::pair<const TreeNode*, int>> pending;
    if (root_) pending.emplace_back(root_, 0);
    std::vector<const TreeNode*> children;
    while (!pending.empty()) {
        auto [n, depth] = pending.back();
        pending.pop_back();
        auto indent = [&os, d = depth] {
            for (int i = 0; i < d; ++i) os << "   ";
        };
        indent();
        os << "lower:  (" << n->lower[0] << ", " << n->lower[1] << ", " << n->lower[2] << ")\n";
        indent();
        os << "higher: (" << n->upper[0] << ", " << n->upper[1] << ", " << n->upper[2] << ")\n";
        indent();
        os << "surface: " << n->area << "    n_child: " << n->childCount << "\n\n";
        children.clear();
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) children.push_back(c);
        for (size_t i = children.size(); i > 0; --i) pending.emplace_back(children[i - 1], depth + 1);
    }
    os.flush();
}

}  // namespace kx::render_raytrace
