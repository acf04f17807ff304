// A hierarchy of axis-aligned boxes built one object at a time, each new
// object going where it adds the least box surface area (Goldsmith-Salmon).
// Answers the nearest-hit and any-hit queries of the ray tracer.
//
// No query recurses and none writes to the tree: a query walks the node
// links (or the layout that Prepare makes, whose build recurses no deeper
// than 48 levels plus the log of the leaf count) without a stack,
// allocates nothing, handles a tree of any shape (a flat list of 100000
// children, a long chain) without touching the call stack, and may run on
// several threads at once as long as nobody inserts or clears meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/math.h"
#include "engines/raytrace/surface.h"

namespace kx::raytrace {

class GrObject;

struct TreeNode {
    GrObject* object = nullptr;  // the object of a leaf; null for an interior node
    TreeNode* firstChild = nullptr;
    TreeNode* nextSibling = nullptr;
    TreeNode* parent = nullptr;
    double lower[3] = {0, 0, 0};
    double upper[3] = {0, 0, 0};
    double area = 0;  // half the surface area of the box
    int childCount = 0;
    int interiorChildren = 0;  // children that have children of their own
    // Of a leaf that starts a run of siblings that are leaves with the same
    // box: the last of them (the leaf itself when the next sibling differs).
    TreeNode* runLast = nullptr;
};

// A node of the query layout: a hierarchy in depth-first order, so that a
// subtree is the run of nodes from its root up to skip. A leaf's rank is
// its place among the leaves in the insertion tree's own depth-first order
// (children in list order).
struct FlatNode {
    double lower[3];
    double upper[3];
    const GrObject* object;  // the object of a leaf; null for an interior node
    uint32_t skip;           // the first node after this subtree
    uint32_t rank;
};

// Lays leaves (boxes finite and in order, objects and ranks set) out in flat
// as a hierarchy of its own (bounding_tree_layout.cpp), children that split
// space on an axis in the order that meets them first from eye, when given.
void LayOutByArea(std::vector<FlatNode>& leaves, const Point3* eye, std::vector<FlatNode>& flat);

// Half the surface area of a box: dx*dy + dx*dz + dy*dz.
double HalfArea(const double lower[3], const double upper[3]);

// The slab test of a box against the ray origin + t * direction over
// [tmin, tmax], in double precision.
bool SlabTest(const double lower[3], const double upper[3], const double origin[3], const double direction[3],
              double tmin, double tmax);
bool SlabTest(const double lower[3], const double upper[3], const Ray& ray, double tmin, double tmax);

class BoundingTree {
public:
    BoundingTree() = default;
    BoundingTree(const BoundingTree&) = delete;
    BoundingTree& operator=(const BoundingTree&) = delete;
    ~BoundingTree() { Clear(); }

    // When false every new object goes directly below the root.
    bool useBoundingTree = true;
    // When true the tree does not destroy its objects.
    bool objectsShared = false;
    // Whether any object lets light through (an opacity or O value below
    // 1): only then do shadow rays cross surfaces (tracer.h). Clear resets it.
    bool seeThrough = false;

    // Adds an object with its box. False, with the tree as it was and the
    // object still the caller's, when the memory cannot be had.
    bool Insert(GrObject* object, const Point3& lower, const Point3& upper);
    bool Insert(GrObject* object, const double lower[3], const double upper[3]);

    // The closest hit with t in (tmin, tmax) as each object's intersect
    // defines it. On success t, hit and object describe the nearest hit; of
    // hits at the same t, the one of the object met last in depth-first
    // order (children in list order).
    bool NearestHit(double tmin, double tmax, const Ray& ray, double& t, HitRecord& hit, GrObject*& object) const;
    // True as soon as one object occludes the ray over (tmin, tmax).
    bool AnyHit(double tmin, double tmax, const Ray& ray) const;
    // NearestHit for two rays in one walk (neighbouring primary rays meet
    // mostly the same boxes): each ray gets exactly the result, and its
    // objects exactly the tests, that NearestHit would give it alone.
    void NearestHitPair(double tmin, double tmax, const Ray ray[2], bool found[2], double t[2], HitRecord hit[2],
                        GrObject* object[2]) const;
    // The same for four rays (in one walk where the processor has AVX2).
    void NearestHitQuad(double tmin, double tmax, const Ray ray[4], bool found[4], double t[4], HitRecord hit[4],
                        GrObject* object[4]) const;

    // AnyHit for four rays in one walk, where the processor has AVX2 and
    // the rays can walk together: then true with each ray's result in
    // occluded; false otherwise.
    bool AnyHitQuad(double tmin, double tmax, const Ray ray[4], bool occluded[4]) const;

    // Lays the tree out for faster queries, which give the same results
    // either way: a hierarchy of its own over the leaves when every box is
    // finite and in order (leaves split in the order seen from eye, when
    // given), else the tree itself in depth-first order. Insert and Clear
    // drop the layout. False when the memory cannot be had (queries then
    // walk the node links).
    bool Prepare(const Point3* eye = nullptr);
    bool prepared() const { return !flat_.empty(); }

    // The root's box, or all zeros for an empty tree.
    void Bounds(double lower[3], double upper[3]) const;
    void Clear();
    int Height() const;
    // The diagnostic dump, on standard error; Describe gives its text.
    void Print() const;
    std::string Describe() const;

    const TreeNode* root() const { return root_; }
    size_t nodeCount() const { return nodeCount_; }
    // The work of every insertion since the tree was made: nodes whose
    // costs were computed.
    size_t insertVisits() const { return insertVisits_; }

private:
    TreeNode* root_ = nullptr;
    size_t nodeCount_ = 0;
    size_t insertVisits_ = 0;
    // Every box inserted since the last Clear has finite corners in order.
    bool orderedBoxes_ = true;
    // Stack of Clear; always at least nodeCount_ + 1 entries.
    std::vector<const TreeNode*> stack_;
    std::vector<TreeNode*> queue_;  // breadth-first search of Insert
    std::vector<FlatNode> flat_;    // the layout of Prepare; empty when there is none
};

}  // namespace kx::raytrace
