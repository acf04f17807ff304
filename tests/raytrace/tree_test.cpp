// The bounding tree: construction by insertion cost, the slab test, the
// queries against brute force, and trees too wide or deep for recursion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/transform.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/objects.h"

namespace kx::raytrace {
namespace {

// A solid box hit where the ray enters it (or at tmin when it starts inside).
class BoxObject : public GrObject {
public:
    BoxObject(Point3 lo, Point3 hi, int* alive = nullptr) : alive_(alive) {
        for (int i = 0; i < 3; ++i) {
            lower[i] = lo[i];
            upper[i] = hi[i];
        }
        if (alive_) ++*alive_;
    }
    ~BoxObject() override {
        if (alive_) --*alive_;
    }
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& t, const Ray& ray, HitRecord& hit) const override {
        double tnear = tmin, tfar = tmax;
        for (int i = 0; i < 3; ++i) {
            double o = ray.origin[i], d = ray.direction[i];
            if (d == 0) {
                if (o < lower[i] || o > upper[i]) return false;
                continue;
            }
            double t0 = (lower[i] - o) / d, t1 = (upper[i] - o) / d;
            if (t0 > t1) std::swap(t0, t1);
            tnear = std::max(tnear, t0);
            tfar = std::min(tfar, t1);
            if (tnear > tfar) return false;
        }
        t = tnear;
        hit.t = tnear;
        return true;
    }
    bool occludes(double tmin, double tmax, const Ray& ray) const override {
        double t;
        HitRecord h;
        return intersect(tmin, tmax, t, ray, h);
    }
    void insertInto(BoundingTree& tree) { tree.Insert(this, lower, upper); }

    double lower[3], upper[3];

private:
    int* alive_;
};

TEST(SlabTest, ParallelRaysStartsInsideAndIntervals) {
    const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    // Parallel to x, outside the box's y slab: a miss; inside it: a hit.
    EXPECT_FALSE(SlabTest(lo, hi, Ray{{-5, 2, 0.5f}, {1, 0, 0}}, 0, 1e30));
    EXPECT_TRUE(SlabTest(lo, hi, Ray{{-5, 0.5f, 0.5f}, {1, 0, 0}}, 0, 1e30));
    // Starting inside, in any direction.
    EXPECT_TRUE(SlabTest(lo, hi, Ray{{0.5f, 0.5f, 0.5f}, {-1, 0.3f, 2}}, 0, 1e30));
    // Pointing away, or the box beyond tmax.
    EXPECT_FALSE(SlabTest(lo, hi, Ray{{-5, 0.5f, 0.5f}, {-1, 0, 0}}, 0, 1e30));
    EXPECT_FALSE(SlabTest(lo, hi, Ray{{-5, 0.5f, 0.5f}, {1, 0, 0}}, 0, 4.9));
    EXPECT_TRUE(SlabTest(lo, hi, Ray{{-5, 0.5f, 0.5f}, {1, 0, 0}}, 0, 5));
    // A diagonal ray passing beside a corner.
    EXPECT_TRUE(SlabTest(lo, hi, Ray{{-0.5f, 0, 0.5f}, {1, 1, 0}}, 0, 1e30));
    EXPECT_FALSE(SlabTest(lo, hi, Ray{{-1.5f, 0, 0.5f}, {1, 1, 0}}, 0, 1e30));
    // A degenerate (flat) box is still hit.
    const double flat[3] = {1, 1, 0};
    EXPECT_TRUE(SlabTest(lo, flat, Ray{{0.5f, 0.5f, 3}, {0, 0, -1}}, 0, 1e30));
}

TEST(BoundingTree, FirstObjectIsTheRootSecondMakesAnInteriorRoot) {
    BoundingTree tree;
    EXPECT_EQ(tree.Height(), 0);
    double lo[3], hi[3];
    tree.Bounds(lo, hi);
    EXPECT_EQ(lo[0], 0);
    EXPECT_EQ(hi[2], 0);

    auto* a = new BoxObject({0, 0, 0}, {1, 1, 1});
    auto* b = new BoxObject({2, 0, 0}, {3, 1, 1});
    a->insertInto(tree);
    ASSERT_NE(tree.root(), nullptr);
    EXPECT_EQ(tree.root()->object, a);
    EXPECT_EQ(tree.root()->childCount, 0);
    EXPECT_EQ(tree.Height(), 1);

    b->insertInto(tree);
    const TreeNode* root = tree.root();
    EXPECT_EQ(root->object, nullptr);
    EXPECT_EQ(root->childCount, 2);
    ASSERT_NE(root->firstChild, nullptr);
    EXPECT_EQ(root->firstChild->object, b);  // newest first
    ASSERT_NE(root->firstChild->nextSibling, nullptr);
    EXPECT_EQ(root->firstChild->nextSibling->object, a);
    EXPECT_EQ(root->firstChild->nextSibling->nextSibling, nullptr);
    EXPECT_EQ(root->firstChild->parent, root);
    EXPECT_EQ(root->firstChild->nextSibling->parent, root);
    tree.Bounds(lo, hi);
    EXPECT_EQ(lo[0], 0);
    EXPECT_EQ(hi[0], 3);
    EXPECT_EQ(root->area, 7);  // (1 + 1) * 3 + 1 * 1
    EXPECT_EQ(tree.Height(), 2);

    EXPECT_EQ(tree.Describe(),
              "lower:  (0, 0, 0)\n"
              "higher: (3, 1, 1)\n"
              "surface: 7    n_child: 2\n"
              "\n"
              "   lower:  (2, 0, 0)\n"
              "   higher: (3, 1, 1)\n"
              "   surface: 3    n_child: 0\n"
              "\n"
              "   lower:  (0, 0, 0)\n"
              "   higher: (1, 1, 1)\n"
              "   surface: 3    n_child: 0\n"
              "\n");
}

TEST(BoundingTree, ThirdObjectJoinsTheCheapestLeaf) {
    BoundingTree tree;
    auto* a = new BoxObject({0, 0, 0}, {1, 1, 1});
    auto* b = new BoxObject({10, 0, 0}, {11, 1, 1});
    auto* c = new BoxObject({0, 0, 2}, {1, 1, 3});
    a->insertInto(tree);
    b->insertInto(tree);
    c->insertInto(tree);
    // Root cost (47 - 23) * 2 + 47 = 95; the leaf of a costs 2 * 7 = 14.
    const TreeNode* root = tree.root();
    EXPECT_EQ(root->childCount, 2);
    EXPECT_EQ(root->upper[2], 3);
    const TreeNode* second = root->firstChild->nextSibling;
    EXPECT_EQ(root->firstChild->object, b);
    EXPECT_EQ(second->object, nullptr);
    EXPECT_EQ(second->childCount, 2);
    EXPECT_EQ(second->firstChild->object, c);
    EXPECT_EQ(second->firstChild->nextSibling->object, a);
    EXPECT_EQ(second->area, 7);
    EXPECT_EQ(tree.Height(), 3);
}

TEST(BoundingTree, FlatWithoutTheOption) {
    BoundingTree tree;
    tree.useBoundingTree = false;
    std::vector<BoxObject*> objs;
    for (int i = 0; i < 5; ++i) {
        objs.push_back(new BoxObject({float(i), 0, 0}, {float(i) + 0.5f, 1, 1}));
        objs.back()->insertInto(tree);
    }
    EXPECT_EQ(tree.root()->childCount, 5);
    int k = 4;
    for (const TreeNode* c = tree.root()->firstChild; c; c = c->nextSibling, --k) {
        EXPECT_EQ(c->object, objs[k]);
        EXPECT_EQ(c->firstChild, nullptr);
    }
    EXPECT_EQ(k, -1);
    EXPECT_EQ(tree.Height(), 2);
}

TEST(BoundingTree, NearestOfTwoOverlappingInEitherOrder) {
    for (bool nearFirst : {true, false}) {
        BoundingTree tree;
        auto* nearBox = new BoxObject({0, 0, 0}, {2, 2, 2});
        auto* farBox = new BoxObject({1, 0, 0}, {3, 2, 2});
        if (nearFirst) {
            nearBox->insertInto(tree);
            farBox->insertInto(tree);
        } else {
            farBox->insertInto(tree);
            nearBox->insertInto(tree);
        }
        double t;
        HitRecord hit;
        GrObject* obj = nullptr;
        ASSERT_TRUE(tree.NearestHit(1e-7, 1e30, Ray{{-1, 1, 1}, {1, 0, 0}}, t, hit, obj));
        EXPECT_EQ(obj, nearBox);
        EXPECT_EQ(t, 1);
        EXPECT_EQ(hit.t, 1);
        // From the other side the other box is nearer.
        ASSERT_TRUE(tree.NearestHit(1e-7, 1e30, Ray{{5, 1, 1}, {-1, 0, 0}}, t, hit, obj));
        EXPECT_EQ(obj, farBox);
        EXPECT_EQ(t, 2);
        // A miss leaves t at tmax.
        EXPECT_FALSE(tree.NearestHit(1e-7, 50, Ray{{5, 5, 5}, {1, 0, 0}}, t, hit, obj));
        EXPECT_EQ(t, 50);
    }
    BoundingTree empty;
    double t;
    HitRecord hit;
    GrObject* obj = nullptr;
    EXPECT_FALSE(empty.NearestHit(0, 1e30, Ray{{0, 0, 0}, {1, 0, 0}}, t, hit, obj));
    EXPECT_FALSE(empty.AnyHit(0, 1e30, Ray{{0, 0, 0}, {1, 0, 0}}));
}

TEST(BoundingTree, ClearDestroysObjectsUnlessShared) {
    int alive = 0;
    {
        BoundingTree tree;
        for (int i = 0; i < 10; ++i) (new BoxObject({float(i), 0, 0}, {float(i) + 1, 1, 1}, &alive))->insertInto(tree);
        EXPECT_EQ(alive, 10);
        tree.Clear();
        EXPECT_EQ(alive, 0);
        EXPECT_EQ(tree.root(), nullptr);
        EXPECT_EQ(tree.Height(), 0);
    }
    std::vector<std::unique_ptr<BoxObject>> owned;
    {
        BoundingTree tree;
        tree.objectsShared = true;
        for (int i = 0; i < 10; ++i) {
            owned.push_back(std::make_unique<BoxObject>(Point3(float(i), 0, 0), Point3(float(i) + 1, 1, 1), &alive));
            owned.back()->insertInto(tree);
        }
        tree.Clear();
        EXPECT_EQ(alive, 10);
        // The tree can be filled again after a clear.
        owned[0]->insertInto(tree);
        EXPECT_EQ(tree.root()->object, owned[0].get());
    }
    EXPECT_EQ(alive, 10);
}

// Random spheres: every query through the tree equals brute force over all
// objects, with and without the tree structure.
TEST(BoundingTree, QueriesEqualBruteForceOnRandomScenes) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> pos(-10, 10), rad(0.1f, 1.5f), dir(-1, 1);
    for (bool useTree : {true, false}) {
        BoundingTree tree;
        tree.useBoundingTree = useTree;
        std::vector<GrObject*> objects;
        for (int i = 0; i < 300; ++i) {
            TransformState xf;
            xf.setIdentity();
            xf.translate({pos(rng), pos(rng), pos(rng)});
            BuiltObject b = BuildSphere(rad(rng), -2, 2, 360, xf.M, xf.Minv);
            objects.push_back(b.object.get());
            tree.Insert(b.object.release(), b.lower, b.upper);
        }
        if (useTree) {
            EXPECT_GT(tree.Height(), 3);
            EXPECT_LT(tree.Height(), 40);
        }
        int hits = 0;
        for (int k = 0; k < 3000; ++k) {
            Ray ray{{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}};
            double tmax = k % 3 == 0 ? 5.0 : 1e30;
            double bestT = tmax;
            GrObject* best = nullptr;
            bool any = false;
            for (GrObject* o : objects) {
                double t;
                HitRecord h;
                if (o->intersect(1e-7, bestT, t, ray, h)) {
                    bestT = t;
                    best = o;
                }
                any = any || o->occludes(1e-7, tmax, ray);
            }
            double t;
            HitRecord hit;
            GrObject* obj = nullptr;
            bool found = tree.NearestHit(1e-7, tmax, ray, t, hit, obj);
            ASSERT_EQ(found, best != nullptr) << "ray " << k;
            EXPECT_EQ(tree.AnyHit(1e-7, tmax, ray), any) << "ray " << k;
            if (!found) continue;
            ++hits;
            EXPECT_EQ(t, bestT) << "ray " << k;
            EXPECT_EQ(hit.t, bestT) << "ray " << k;
            EXPECT_EQ(obj, best) << "ray " << k;
        }
        EXPECT_GT(hits, 300);
    }
}

// A flat tree of many objects: the sibling chain is far longer than any
// call stack could follow.
TEST(BoundingTree, HugeFlatTreeNeedsNoRecursion) {
    const int count = 200000;
    int alive = 0;
    BoundingTree tree;
    tree.useBoundingTree = false;
    for (int i = 0; i < count; ++i)
        (new BoxObject({float(i), 0, 0}, {float(i) + 0.5f, 1, 1}, &alive))->insertInto(tree);
    EXPECT_EQ(tree.Height(), 2);
    EXPECT_EQ(tree.root()->childCount, count);
    double t;
    HitRecord hit;
    GrObject* obj = nullptr;
    ASSERT_TRUE(tree.NearestHit(1e-7, 1e30, Ray{{-1, 0.5f, 0.5f}, {1, 0, 0}}, t, hit, obj));
    EXPECT_EQ(t, 1);
    ASSERT_TRUE(tree.NearestHit(1e-7, 1e30, Ray{{150000.75f, 0.5f, 0.5f}, {1, 0, 0}}, t, hit, obj));
    EXPECT_EQ(t, 0.25);
    EXPECT_TRUE(tree.AnyHit(1e-7, 1e30, Ray{{-1, 0.5f, 0.5f}, {1, 0, 0}}));
    EXPECT_FALSE(tree.AnyHit(1e-7, 1e30, Ray{{-1, 5, 0.5f}, {1, 0, 0}}));
    tree.Clear();
    EXPECT_EQ(alive, 0);
}

// Boxes nested inside one another, each much smaller than the last, make a
// chain: every new box goes below the one before.
TEST(BoundingTree, NestedBoxesMakeADeepChain) {
    BoundingTree tree;
    int alive = 0;
    const int count = 120;
    std::vector<BoxObject*> boxes;
    double size = 1;
    for (int i = 0; i < count; ++i, size *= 0.25) {
        auto* b = new BoxObject({0, 0, 0}, {1, 1, 1}, &alive);
        for (int k = 0; k < 3; ++k) b->upper[k] = size;
        b->insertInto(tree);
        boxes.push_back(b);
    }
    EXPECT_GT(tree.Height(), count / 2);
    // A ray into the smallest box finds the entry of the biggest first.
    double t;
    HitRecord hit;
    GrObject* obj = nullptr;
    ASSERT_TRUE(tree.NearestHit(1e-7, 1e30, Ray{{-1, 1e-30f, 1e-30f}, {1, 0, 0}}, t, hit, obj));
    EXPECT_EQ(t, 1);
    tree.Clear();
    EXPECT_EQ(alive, 0);
}

// Boxes with many ties: every box drawn from a few, boxes without area,
// boxes on top of a larger one, the odd box that is unlike the rest, and
// boxes that are no boxes.
std::vector<std::pair<Point3, Point3>> TiedBoxes(int pattern, int count, std::mt19937& rng) {
    std::uniform_int_distribution<int> pick(0, 5);
    std::uniform_real_distribution<float> pos(-20, 20);
    std::vector<std::pair<Point3, Point3>> few;
    for (int k = 0; k < 6; ++k) {
        Point3 lo(pos(rng), pos(rng), pos(rng));
        few.push_back({lo, Point3(lo.x + 1 + float(k), lo.y + 2, lo.z + 0.5f)});
    }
    std::vector<std::pair<Point3, Point3>> out;
    for (int i = 0; i < count; ++i) {
        switch (pattern) {
            case 0: out.push_back({{0, 0, 0}, {1, 1, 1}}); break;                           // one box
            case 1: out.push_back({{float(i % 50), 0, 0}, {float(i % 50) + 2, 0, 0}}); break;  // segments on a line
            case 2: out.push_back(i == 0 ? std::make_pair(Point3(-1, -1, -1), Point3(1, 1, 1))
                                         : std::make_pair(Point3(-0.9f, -0.9f, -0.9f), Point3(0.9f, 0.9f, 0.9f)));
                break;
            case 3: out.push_back(i % 2 ? std::make_pair(Point3(0, 0, 0), Point3(1, 2, 0))
                                        : std::make_pair(Point3(0, 0, 0), Point3(2, 1, 0)));
                break;
            case 4: out.push_back(few[static_cast<size_t>(pick(rng))]); break;
            case 6: {  // and what vertex data can make of boxes: NaN, inverted, infinite
                const float inf = INFINITY;
                const std::pair<Point3, Point3> odd[] = {{{NAN, 0, 0}, {1, 1, 1}},
                                                         {{2, 2, 2}, {1, 1, 1}},
                                                         {{-inf, 0, 0}, {inf, 1, 1}},
                                                         {{0, 0, 0}, {1, 1, 1}}};
                out.push_back(odd[i % 4]);
                break;
            }
            default:  // one box, now and then another one anywhere
                if (i % 97 == 5) {
                    Point3 lo(pos(rng), pos(rng), pos(rng));
                    out.push_back({lo, Point3(lo.x + 3, lo.y + 1, lo.z + 2)});
                } else {
                    out.push_back({{0, 0, 0}, {1, 1, 1}});
                }
        }
    }
    return out;
}

// Equal boxes, boxes without area and boxes on top of each other are ties
// in the choice of where a new object goes. Each insertion looks at a few
// nodes, not at every tied sibling (which made n equal faces cost n^2).
TEST(BoundingTree, TiesCostEachInsertionAFewNodes) {
    const int count = 50000;
    std::mt19937 rng(5);
    for (int pattern = 0; pattern < 7; ++pattern) {
        BoundingTree tree;
        for (const auto& [lo, hi] : TiedBoxes(pattern, count, rng)) (new BoxObject(lo, hi))->insertInto(tree);
        EXPECT_LE(tree.insertVisits(), size_t{32} * count) << "pattern " << pattern;
    }
    // Equal boxes all go below the root, newest first, as without the bound.
    BoundingTree tree;
    std::vector<BoxObject*> boxes;
    for (int i = 0; i < count; ++i) {
        boxes.push_back(new BoxObject({0, 0, 0}, {1, 1, 1}));
        boxes.back()->insertInto(tree);
    }
    EXPECT_EQ(tree.root()->childCount, count);
    EXPECT_EQ(tree.Height(), 2);
    EXPECT_EQ(tree.root()->firstChild->object, boxes.back());
    EXPECT_LE(tree.insertVisits(), size_t{2} * count);
}

// The insertion rule spelled out with nothing skipped: breadth first from
// the root into every child of least merge cost, the first node of least
// insertion cost taking the new box. Returns the tree in preorder.
struct ModelTree {
    struct Node {
        int object = -1, first = -1, next = -1, parent = -1, count = 0;
        double lo[3], hi[3], area = 0;
    };
    std::vector<Node> nodes;
    int root = -1;

    static double Half(const double lo[3], const double hi[3]) { return HalfArea(lo, hi); }
    double Union(const Node& n, const double lo[3], const double hi[3]) const {
        double a[3], b[3];
        for (int i = 0; i < 3; ++i) {
            a[i] = lo[i] < n.lo[i] ? lo[i] : n.lo[i];
            b[i] = hi[i] > n.hi[i] ? hi[i] : n.hi[i];
        }
        return Half(a, b);
    }
    void insert(int object, const double lo[3], const double hi[3]) {
        Node leaf;
        leaf.object = object;
        std::copy(lo, lo + 3, leaf.lo);
        std::copy(hi, hi + 3, leaf.hi);
        leaf.area = Half(lo, hi);
        nodes.push_back(leaf);
        const int fresh = static_cast<int>(nodes.size()) - 1;
        if (root < 0) {
            root = fresh;
            return;
        }
        auto cost = [&](int k) {
            const Node& n = nodes[static_cast<size_t>(k)];
            double u = Union(n, lo, hi);
            return n.first >= 0 ? (u - n.area) * n.count + u : 2 * u;
        };
        int best = root;
        double bestCost = cost(root);
        std::vector<int> queue{root};
        for (size_t h = 0; h < queue.size(); ++h) {
            const int k = queue[h];
            if (double c = cost(k); c < bestCost) best = k, bestCost = c;
            double m = INFINITY;
            for (int c = nodes[static_cast<size_t>(k)].first; c >= 0; c = nodes[static_cast<size_t>(c)].next)
                m = std::min(m, Union(nodes[static_cast<size_t>(c)], lo, hi) - nodes[static_cast<size_t>(c)].area);
            for (int c = nodes[static_cast<size_t>(k)].first; c >= 0; c = nodes[static_cast<size_t>(c)].next)
                if (Union(nodes[static_cast<size_t>(c)], lo, hi) - nodes[static_cast<size_t>(c)].area == m)
                    queue.push_back(c);
        }
        if (nodes[static_cast<size_t>(best)].first < 0) {
            Node moved = nodes[static_cast<size_t>(best)];
            moved.parent = best;
            moved.next = -1;
            nodes.push_back(moved);
            Node& b = nodes[static_cast<size_t>(best)];
            b.object = -1;
            b.first = static_cast<int>(nodes.size()) - 1;
            b.count = 1;
        }
        Node& b = nodes[static_cast<size_t>(best)];
        nodes[static_cast<size_t>(fresh)].parent = best;
        nodes[static_cast<size_t>(fresh)].next = b.first;
        b.first = fresh;
        b.count += 1;
        for (int k = best; k >= 0; k = nodes[static_cast<size_t>(k)].parent) {
            Node& n = nodes[static_cast<size_t>(k)];
            for (int i = 0; i < 3; ++i) {
                if (lo[i] < n.lo[i]) n.lo[i] = lo[i];
                if (hi[i] > n.hi[i]) n.hi[i] = hi[i];
            }
            n.area = Half(n.lo, n.hi);
        }
    }
    std::string preorder() const {
        std::ostringstream out;
        std::vector<int> pending;
        if (root >= 0) pending.push_back(root);
        while (!pending.empty()) {
            const Node& n = nodes[static_cast<size_t>(pending.back())];
            pending.pop_back();
            out << n.object << ' ' << n.count << ' ' << n.lo[0] << ' ' << n.hi[1] << ' ' << n.area << '\n';
            std::vector<int> children;
            for (int c = n.first; c >= 0; c = nodes[static_cast<size_t>(c)].next) children.push_back(c);
            pending.insert(pending.end(), children.rbegin(), children.rend());
        }
        return out.str();
    }
};

std::string Preorder(const BoundingTree& tree, const std::vector<BoxObject*>& objects) {
    std::ostringstream out;
    std::vector<const TreeNode*> pending;
    if (tree.root()) pending.push_back(tree.root());
    while (!pending.empty()) {
        const TreeNode* n = pending.back();
        pending.pop_back();
        int id = -1;
        if (!n->firstChild)
            id = static_cast<int>(std::find(objects.begin(), objects.end(), n->object) - objects.begin());
        out << id << ' ' << n->childCount << ' ' << n->lower[0] << ' ' << n->upper[1] << ' ' << n->area << '\n';
        std::vector<const TreeNode*> children;
        for (const TreeNode* c = n->firstChild; c; c = c->nextSibling) children.push_back(c);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return out.str();
}

// What the search skips on ties can never be chosen: the tree is node for
// node the one the rule gives, so every query meets the same objects in the
// same order and every image stays as it was.
TEST(BoundingTree, TiesGiveTheTreeOfTheFullSearch) {
    std::mt19937 rng(9);
    for (int pattern = 0; pattern < 7; ++pattern) {
        auto boxes = TiedBoxes(pattern, 1500, rng);
        std::uniform_real_distribution<float> pos(-20, 20);
        for (int i = 0; i < 300; ++i) {  // and boxes of every kind among them
            Point3 lo(pos(rng), pos(rng), pos(rng));
            boxes.insert(boxes.begin() + std::uniform_int_distribution<long>(0, long(boxes.size()))(rng),
                         {lo, Point3(lo.x + 2, lo.y + 3, lo.z + (i % 3 ? 1.0f : 0.0f))});
        }
        BoundingTree tree;
        ModelTree model;
        std::vector<BoxObject*> objects;
        for (const auto& [lo, hi] : boxes) {
            objects.push_back(new BoxObject(lo, hi));
            objects.back()->insertInto(tree);
            model.insert(static_cast<int>(objects.size()) - 1, objects.back()->lower, objects.back()->upper);
        }
        EXPECT_EQ(Preorder(tree, objects), model.preorder()) << "pattern " << pattern;
    }
}

}  // namespace
}  // namespace kx::raytrace
