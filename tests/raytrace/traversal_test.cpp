// The tracer's fast paths against their plain forms: the packed slab test,
// the prepared tree layout, queries from several threads, and rows traced
// on several threads but shown in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "core/transform.h"
#include "engines/raytrace/bounding_tree.h"
#include "engines/raytrace/face_geometry.h"
#include "engines/raytrace/objects.h"
#include "engines/raytrace/row_pipeline.h"

namespace kx::raytrace {
namespace {

// SlabTest on a Ray takes the packed path when no direction component is
// zero; the form on double arrays always tests axis by axis.
bool AxisByAxis(const double lo[3], const double hi[3], const Ray& r, double tmin, double tmax) {
    const double o[3] = {r.origin.x, r.origin.y, r.origin.z};
    const double d[3] = {r.direction.x, r.direction.y, r.direction.z};
    return SlabTest(lo, hi, o, d, tmin, tmax);
}

TEST(SlabTest, PackedFormDecidesAsTheAxisByAxisForm) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-4, 4), dir(-1, 1), tpick(-1, 3);
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const float tiny[] = {1e-38f, -1e-30f, 1e-7f, 3e30f, -2e38f};
    int hits = 0, misses = 0;
    for (int k = 0; k < 200000; ++k) {
        Ray r{{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}};
        if (k % 7 == 0) r.direction[k % 3] = tiny[k % 5];
        if (k % 11 == 0) r.direction[(k + 1) % 3] = 0;  // the axis-by-axis path
        double lo[3], hi[3];
        for (int i = 0; i < 3; ++i) {
            // Faces where the ray crosses them at a chosen t, so that
            // quotients tie with one another and with tmin and tmax.
            double a = r.origin[i] + static_cast<double>(tpick(rng)) * r.direction[i];
            double b = k % 5 == 0 ? a : r.origin[i] + static_cast<double>(tpick(rng)) * r.direction[i];
            if (k % 13 == 0) b = pos(rng);  // boxes turned inside out too
            lo[i] = std::fmin(a, b);
            hi[i] = k % 13 == 0 ? a : std::fmax(a, b);
        }
        if (k % 97 == 0) lo[k % 3] = -inf;
        if (k % 101 == 0) hi[k % 3] = nan;
        double tmin = k % 3 == 0 ? 0 : 1e-7;
        double tmax = k % 4 == 0 ? 1e30 : static_cast<double>(tpick(rng) + 1.5f);
        if (k % 17 == 0) tmax = (hi[0] - r.origin[0]) / r.direction[0];
        bool expected = AxisByAxis(lo, hi, r, tmin, tmax);
        ASSERT_EQ(SlabTest(lo, hi, r, tmin, tmax), expected) << "case " << k;
        (expected ? hits : misses)++;
    }
    EXPECT_GT(hits, 20000);
    EXPECT_GT(misses, 20000);
}

// Logs every test made on it; hit at a fixed t wherever the ray is, so that
// many objects tie and the order of the tests decides which one wins. With
// a box, hit where the ray enters the box instead (as a solid box is).
class LoggingObject : public GrObject {
public:
    LoggingObject(int id_, double t_, std::vector<int>* log_) : id(id_), t(t_), log(log_) {}
    bool mayHit(double, double, const Ray&) const override { return true; }
    bool intersect(double tmin, double tmax, double& th, const Ray& ray, HitRecord& hit) const override {
        if (log) log->push_back(id);
        if (rays) rays->push_back(ray.direction.x);
        double t = this->t;
        if (box && !Entry(ray, tmin, tmax, t)) return false;
        if (!(t >= tmin && t <= tmax)) return false;
        th = t;
        hit.t = t;
        hit.normal = Vector3(static_cast<float>(id), 0, 0);
        return true;
    }
    bool occludes(double tmin, double tmax, const Ray& ray) const override {
        double th;
        HitRecord h;
        return intersect(tmin, tmax, th, ray, h);
    }
    // Where the ray enters box over [tmin, tmax], as SlabTest finds it.
    bool Entry(const Ray& r, double tmin, double tmax, double& entry) const {
        double tnear = tmin, tfar = tmax;
        for (int i = 0; i < 3; ++i) {
            const double o = r.origin[i], d = r.direction[i];
            if (d == 0) {
                if (o < box[i] || o > box[i + 3]) return false;
                continue;
            }
            double t0 = (box[i] - o) / d, t1 = (box[i + 3] - o) / d;
            if (t0 > t1) std::swap(t0, t1);
            tnear = std::max(tnear, t0);
            tfar = std::min(tfar, t1);
            if (tnear > tfar) return false;
        }
        entry = tnear;
        return true;
    }
    int id;
    double t;
    std::vector<int>* log;
    std::vector<float>* rays = nullptr;  // the direction's x of each test
    const double* box = nullptr;         // lower corner, then upper
};

struct QueryResult {
    bool found = false, any = false;
    double t = 0;
    float normal = 0;
    std::vector<int> tests;
    bool operator==(const QueryResult&) const = default;
};

// The same answers, whatever objects were tested on the way.
bool SameAnswers(const QueryResult& a, const QueryResult& b) {
    return a.found == b.found && a.any == b.any && a.t == b.t && a.normal == b.normal;
}

QueryResult Query(const BoundingTree& tree, const Ray& ray, double tmax, std::vector<int>& log) {
    QueryResult q;
    HitRecord hit;
    GrObject* obj = nullptr;
    log.clear();
    q.found = tree.NearestHit(1e-7, tmax, ray, q.t, hit, obj);
    q.normal = q.found ? hit.normal.x : -1;
    q.any = tree.AnyHit(1e-7, tmax, ray);
    q.tests = log;
    return q;
}

// The prepared layout is a hierarchy of its own, walked in another order:
// each query still finds what the walk of the tree's links finds, and of
// the many hits that tie, the same one (the object met last by the links).
TEST(BoundingTree, PreparedLayoutFindsWhatTheLinkedWalkFinds) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> pos(-10, 10), size(0.2f, 4), dir(-1, 1);
    std::vector<int> log;
    for (bool useTree : {true, false}) {
        BoundingTree tree;
        std::vector<std::unique_ptr<LoggingObject>> objects;
        tree.objectsShared = true;
        tree.useBoundingTree = useTree;
        // Boxes on a lattice of halves, each twice: a ray that meets one
        // meets its twin at the same t, and often others through a shared
        // face plane.
        std::vector<std::array<double, 6>> boxes;
        auto add = [&](int i) {
            if (i % 2 == 0) {
                const double lo[3] = {std::round(pos(rng) * 2) / 2, std::round(pos(rng) * 2) / 2,
                                      std::round(pos(rng) * 2) / 2};
                boxes.push_back({lo[0], lo[1], lo[2], lo[0] + std::round(size(rng) * 2) / 2 + 0.5,
                                 lo[1] + std::round(size(rng) * 2) / 2 + 0.5, lo[2] + std::round(size(rng) * 2) / 2 + 0.5});
            }
            objects.push_back(std::make_unique<LoggingObject>(i, 0, &log));
            const std::array<double, 6>& b = boxes[static_cast<size_t>(i / 2)];
            objects.back()->box = b.data();
            tree.Insert(objects.back().get(), b.data(), b.data() + 3);
        };
        boxes.reserve(201);
        for (int i = 0; i < 400; ++i) add(i);
        std::vector<Ray> rays;
        for (int k = 0; k < 2000; ++k) rays.push_back({{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}});
        rays.push_back({{0, 0, 0}, {1, 0, 0}});  // zero components: the axis-by-axis test
        rays.push_back({{0, 0, 0}, {0, 0, 0}});
        std::vector<QueryResult> linked;
        for (size_t k = 0; k < rays.size(); ++k) linked.push_back(Query(tree, rays[k], k % 2 ? 2.5 : 1e30, log));
        ASSERT_TRUE(tree.Prepare());
        EXPECT_TRUE(tree.prepared());
        int found = 0;
        for (size_t k = 0; k < rays.size(); ++k) {
            ASSERT_TRUE(SameAnswers(Query(tree, rays[k], k % 2 ? 2.5 : 1e30, log), linked[k])) << "ray " << k;
            found += linked[k].found;
        }
        EXPECT_GT(found, 200);
        // An insertion drops the layout; the queries see the new object.
        add(400);
        EXPECT_FALSE(tree.prepared());
        for (size_t k = 0; k < rays.size(); ++k) {
            QueryResult q = Query(tree, rays[k], 1e30, log);
            ASSERT_TRUE(tree.Prepare());
            ASSERT_TRUE(SameAnswers(Query(tree, rays[k], 1e30, log), q)) << "ray " << k;
        }
        tree.Clear();
        EXPECT_FALSE(tree.prepared());
    }
}

// The walk of two or four rays at once.
template <int N>
void WalkTogether(const BoundingTree& tree, double tmin, double tmax, const Ray* rays, bool* found, double* t,
                  HitRecord* hit, GrObject** obj) {
    if constexpr (N == 4)
        tree.NearestHitQuad(tmin, tmax, rays, found, t, hit, obj);
    else
        tree.NearestHitPair(tmin, tmax, rays, found, t, hit, obj);
}

// Rays walked together: each gets its own result, and every object the
// tests it would get alone, in the same order.
template <int N>
void PacketsEqualSingleRays() {
    std::mt19937 rng(41 + N);
    std::uniform_real_distribution<float> pos(-10, 10), size(0.2f, 4), dir(-1, 1), jitter(-0.05f, 0.05f);
    std::vector<std::unique_ptr<LoggingObject>> objects;
    std::vector<int> log;
    // Which ray each test was for (its direction's x), so that the log of a
    // walk together can be split into the rays' own sequences.
    std::vector<float> rayLog;
    BoundingTree tree;
    tree.objectsShared = true;
    for (int i = 0; i < 300; ++i) {
        objects.push_back(std::make_unique<LoggingObject>(i, 1 + (i % 5) * 0.5, &log));
        objects.back()->rays = &rayLog;
        Point3 lo(pos(rng), pos(rng), pos(rng));
        tree.Insert(objects.back().get(), lo, Point3(lo.x + size(rng), lo.y + size(rng), lo.z + size(rng)));
    }
    for (bool prepared : {false, true}) {
        if (prepared) {
            ASSERT_TRUE(tree.Prepare());
        }
        int allFound = 0, walkedAny = 0, occludedCount = 0;
        for (int k = 0; k < 3000; ++k) {
            // Neighbours mostly, strangers sometimes, and now and then a
            // direction with a zero component (walked one by one).
            Ray rays[N];
            rays[0] = Ray{{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}};
            for (int r = 1; r < N; ++r) {
                rays[r] = rays[r - 1];
                if (k % 4 == 0)
                    rays[r] = Ray{{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}};
                else
                    rays[r].direction =
                        Vector3(rays[r].direction.x + jitter(rng), rays[r].direction.y + jitter(rng), rays[r].direction.z);
            }
            if (k % 50 == 0) rays[N - 1].direction.y = 0;
            bool distinct = true;
            for (int r = 1; r < N; ++r)
                for (int q = 0; q < r; ++q) distinct = distinct && rays[r].direction.x != rays[q].direction.x;
            std::vector<int> tests[N];
            double t[N];
            bool found[N];
            GrObject* obj[N];
            HitRecord hit[N];
            for (int r = 0; r < N; ++r) {
                log.clear();
                found[r] = tree.NearestHit(1e-7, 1e30, rays[r], t[r], hit[r], obj[r]);
                tests[r] = log;
            }
            log.clear();
            rayLog.clear();
            bool pf[N];
            double pt[N];
            HitRecord ph[N];
            GrObject* po[N] = {};
            WalkTogether<N>(tree, 1e-7, 1e30, rays, pf, pt, ph, po);
            bool all = true;
            for (int r = 0; r < N; ++r) {
                ASSERT_EQ(pf[r], found[r]) << "ray " << k << "/" << r;
                all = all && pf[r];
                if (!found[r]) continue;
                EXPECT_EQ(pt[r], t[r]) << "ray " << k << "/" << r;
                EXPECT_EQ(po[r], obj[r]) << "ray " << k << "/" << r;  // the same object won the tie
                EXPECT_EQ(ph[r].normal.x, hit[r].normal.x) << "ray " << k << "/" << r;
            }
            auto expectSameTests = [&](const std::vector<int>* alone) {
                if (!distinct) return;
                std::vector<int> split[N];
                for (size_t i = 0; i < log.size(); ++i)
                    for (int r = 0; r < N; ++r)
                        if (rayLog[i] == rays[r].direction.x) split[r].push_back(log[i]);
                for (int r = 0; r < N; ++r) ASSERT_EQ(split[r], alone[r]) << "ray " << k << "/" << r;
            };
            expectSameTests(tests);
            allFound += all;
            if constexpr (N == 4) {
                // Shadow rays: AnyHit over a shorter interval, each ray
                // leaving the walk at its first occluder.
                bool any[N];
                for (int r = 0; r < N; ++r) {
                    log.clear();
                    any[r] = tree.AnyHit(1e-7, 2.2, rays[r]);
                    tests[r] = log;
                }
                log.clear();
                rayLog.clear();
                bool occluded[N];
                if (!tree.AnyHitQuad(1e-7, 2.2, rays, occluded)) continue;
                ++walkedAny;
                for (int r = 0; r < N; ++r) {
                    ASSERT_EQ(occluded[r], any[r]) << "ray " << k << "/" << r;
                    occludedCount += any[r];
                }
                expectSameTests(tests);
            }
        }
        EXPECT_GT(allFound, 50);
        if (N == 4 && prepared && __builtin_cpu_supports("avx2")) {
            EXPECT_GT(walkedAny, 2000);
            EXPECT_GT(occludedCount, 1000);
            EXPECT_LT(occludedCount, 4 * walkedAny - 1000);
        }
        EXPECT_TRUE(prepared || walkedAny == 0);
    }
}

TEST(BoundingTree, PairedQueriesEqualSingleOnes) { PacketsEqualSingleRays<2>(); }
TEST(BoundingTree, QuadQueriesEqualSingleOnes) { PacketsEqualSingleRays<4>(); }

// Boxes whose faces lie exactly where the rays cross them (or a last-place
// step beside), so that interval ends tie with one another, with tmin and
// with the shrinking tmax: the walks' quick estimates must hand every close
// case to the exact quotients.
template <int N>
void PacketsOnBoxesTouchingTheRays() {
    std::mt19937 rng(77 + N);
    std::uniform_real_distribution<float> pos(-3, 3), dir(-1, 1), tpick(0, 4), jitter(-0.01f, 0.01f);
    std::vector<int> log;
    for (int scene = 0; scene < 300; ++scene) {
        Ray rays[N];
        rays[0] = Ray{{pos(rng), pos(rng), pos(rng)}, {dir(rng), dir(rng), dir(rng)}};
        for (int r = 1; r < N; ++r) {
            rays[r] = rays[0];
            rays[r].direction = Vector3(rays[0].direction.x + jitter(rng), rays[0].direction.y, rays[0].direction.z + jitter(rng));
            if (scene % 3 == 0) rays[r].origin = Point3(rays[0].origin.x + jitter(rng), rays[0].origin.y, rays[0].origin.z);
        }
        BoundingTree tree;
        tree.objectsShared = true;
        std::vector<std::unique_ptr<LoggingObject>> objects;
        for (int i = 0; i < 60; ++i) {
            const Ray& r = rays[i % N];
            double lo[3], hi[3];
            for (int k = 0; k < 3; ++k) {
                double p = r.origin[k] + tpick(rng) * r.direction[k];
                double q = i % 5 == 0 ? p : r.origin[k] + tpick(rng) * r.direction[k];
                // A last-place step either way now and then.
                if (i % 3 == 1) p = std::nextafter(p, i % 2 ? 1e300 : -1e300);
                lo[k] = std::fmin(p, q);
                hi[k] = std::fmax(p, q);
            }
            objects.push_back(std::make_unique<LoggingObject>(i, 0.5 + (i % 7) * 0.5, &log));
            tree.Insert(objects.back().get(), lo, hi);
        }
        ASSERT_TRUE(tree.Prepare());
        // tmax exactly at (and a step beside) a quotient of the first box.
        const double q = tree.root()->firstChild->lower[0] - double(rays[0].origin.x);
        const double exact = q / double(rays[0].direction.x);
        for (double tmax : {1e30, 1.0, 2.0, 2.5, exact, std::nextafter(exact, 1e300), std::nextafter(exact, -1e300)}) {
            bool found[N];
            double t[N];
            HitRecord hit[N];
            GrObject* obj[N] = {};
            std::vector<int> merged;
            for (int r = 0; r < N; ++r) {
                log.clear();
                found[r] = tree.NearestHit(1e-7, tmax, rays[r], t[r], hit[r], obj[r]);
                merged.insert(merged.end(), log.begin(), log.end());
            }
            log.clear();
            bool pf[N];
            double pt[N];
            HitRecord ph[N];
            GrObject* po[N] = {};
            WalkTogether<N>(tree, 1e-7, tmax, rays, pf, pt, ph, po);
            std::sort(merged.begin(), merged.end());
            std::sort(log.begin(), log.end());
            ASSERT_EQ(log, merged) << "scene " << scene << " tmax " << tmax;
            for (int r = 0; r < N; ++r) {
                ASSERT_EQ(pf[r], found[r]);
                if (found[r]) {
                    EXPECT_EQ(pt[r], t[r]);
                    EXPECT_EQ(po[r], obj[r]);
                }
            }
        }
    }
}

TEST(BoundingTree, PairedQueriesOnBoxesTouchingTheRays) { PacketsOnBoxesTouchingTheRays<2>(); }
TEST(BoundingTree, QuadQueriesOnBoxesTouchingTheRays) { PacketsOnBoxesTouchingTheRays<4>(); }

// Scene and mesh queries from several threads at once answer as from one.
TEST(BoundingTree, ConcurrentQueriesOnSpheresAndAMesh) {
    BoundingTree tree;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pos(-6, 6), dir(-1, 1);
    for (int i = 0; i < 200; ++i) {
        TransformState xf;
        xf.setIdentity();
        xf.translate({pos(rng), pos(rng), pos(rng)});
        BuiltObject b = BuildSphere(0.7f, -1, 1, 360, xf.M, xf.Minv);
        tree.Insert(b.object.release(), b.lower, b.upper);
    }
    // A grid mesh of 20 x 20 quads in the plane z = 0.
    std::vector<float> v;
    std::vector<int> idx;
    for (int j = 0; j <= 20; ++j)
        for (int i = 0; i <= 20; ++i) v.insert(v.end(), {i - 10.0f, j - 10.0f, 0.0f});
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 20; ++i) idx.insert(idx.end(), {j * 21 + i, j * 21 + i + 1, (j + 1) * 21 + i + 1, (j + 1) * 21 + i, -1});
    TransformState xf;
    xf.setIdentity();
    BuiltObject mesh;
    ASSERT_EQ(BuildPolySet("P", 441, v.data(), 400, idx.data(), xf.M, xf.Minv, mesh), 0);
    tree.Insert(mesh.object.release(), mesh.lower, mesh.upper);
    ASSERT_TRUE(tree.Prepare());

    std::vector<Ray> rays;
    for (int k = 0; k < 4000; ++k) rays.push_back({{pos(rng), pos(rng), 12}, {dir(rng), dir(rng), -1}});
    auto answer = [&](const Ray& r) {
        double t = 0;
        HitRecord hit;
        GrObject* obj = nullptr;
        bool found = tree.NearestHit(1e-7, 1e30, r, t, hit, obj);
        // No allocation on the threads: the test program counts them.
        return std::array<double, 6>{double(found), t, hit.normal.x, hit.normal.y, hit.normal.z,
                                     double(tree.AnyHit(1e-7, 1e30, r))};
    };
    std::vector<std::array<double, 6>> expected;
    for (const Ray& r : rays) expected.push_back(answer(r));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int th = 0; th < 4; ++th)
        threads.emplace_back([&, th] {
            for (int pass = 0; pass < 3; ++pass)
                for (size_t k = th; k < rays.size(); k += 1 + th % 2)
                    if (answer(rays[k]) != expected[k]) ++wrong[th];
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// A polygon set's hierarchy against every face tested in turn: on random
// rays, and on rays aimed at the vertices (where neighbouring faces meet),
// through a rippled grid of quads and triangles with faces repeated on top
// of each other (hits at exactly the same t). The nearest hit is the least
// t among the faces whose box and polygon the ray meets, on a tie the face
// last in the index list; a face occludes when one such face exists.
TEST(FaceHierarchy, NearestHitIsTheLeastOfEveryFaceTestedInTurn) {
    constexpr int kSide = 24;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1, 1);
    std::vector<float> v;
    for (int j = 0; j <= kSide; ++j)
        for (int i = 0; i <= kSide; ++i) v.insert(v.end(), {float(i), float(j), 0.4f * unit(rng)});
    std::vector<int> idx;
    int faces = 0;
    auto face = [&](std::initializer_list<int> corners) {
        idx.insert(idx.end(), corners);
        idx.push_back(-1);
        ++faces;
    };
    for (int j = 0; j < kSide; ++j)
        for (int i = 0; i < kSide; ++i) {
            const int a = j * (kSide + 1) + i, b = a + 1, c = a + kSide + 2, d = a + kSide + 1;
            if ((i + j) % 3 == 0) {
                face({a, b, c});
                face({a, c, d});
            } else {
                face({a, b, c, d});
            }
            // Every fifth cell twice more: once the same, once reversed.
            if ((i * 7 + j) % 5 == 0) {
                face({a, b, c, d});
                face({d, c, b, a});
            }
        }
    TransformState xf;
    xf.setIdentity();
    BuiltObject built;
    ASSERT_EQ(BuildPolySet("P", int(v.size() / 3), v.data(), faces, idx.data(), xf.M, xf.Minv, built), 0);
    const RTPolySet& set = *static_cast<const RTPolySet*>(built.object.get());
    ASSERT_EQ(set.faces.size(), size_t(faces));
    std::vector<uint32_t> numbers;
    for (uint32_t f = 0; f < set.faces.size(); ++f) numbers.push_back(set.faces.number(f));
    std::sort(numbers.begin(), numbers.end());
    for (uint32_t f = 0; f < set.faces.size(); ++f) ASSERT_EQ(numbers[f], f);

    std::uniform_real_distribution<float> across(-2, kSide + 2);
    std::vector<Ray> rays;
    for (int k = 0; k < 6000; ++k) {
        const Point3 o(across(rng), across(rng), 3 + 2 * unit(rng));
        Point3 at(across(rng), across(rng), 0);
        if (k % 2) {
            const size_t vertex = size_t(rng() % (v.size() / 3));
            at = Point3(v.data() + 3 * vertex);
        }
        rays.push_back({o, at - o});
        rays.push_back({toPoint(toVector(at) + Vector3(0, 0, -3 - unit(rng))), o - at});  // from below
    }
    int hits = 0, ties = 0;
    for (const Ray& r : rays) {
        const double tmin = 1e-7, tmax = 1e30;
        bool found = false;
        double best = tmax;
        uint32_t bestFace = 0;
        int atBest = 0;
        for (uint32_t f = 0; f < set.faces.size(); ++f) {
            const int n = set.faces.sizeOf(f);
            if (n <= 0) continue;
            const IndexedVertices fv = set.faces.vertices(f);
            double lo[3], hi[3], th;
            Point3 p;
            FaceBox(fv, n, lo, hi);
            if (!SlabTest(lo, hi, r, tmin, tmax) || !FaceHit(fv, n, PlaneOf(fv, n), tmax, r, th, p)) continue;
            if (!found || th < best) {
                best = th;
                bestFace = f;
                atBest = 0;
            } else if (th == best && set.faces.number(f) > set.faces.number(bestFace)) {
                bestFace = f;
            }
            atBest += th == best;
            found = true;
        }
        NearestFace nearest;
        ASSERT_EQ(set.hierarchy.nearest(set.faces, r, tmin, tmax, nearest), found);
        ASSERT_EQ(set.hierarchy.any(set.faces, r, tmin, tmax), found);
        if (!found) continue;
        ++hits;
        ties += atBest > 1;
        EXPECT_EQ(nearest.t, best);
        EXPECT_EQ(nearest.face, bestFace);
    }
    EXPECT_GT(hits, 8000);
    EXPECT_GT(ties, 300);
}

TEST(RowPipeline, ThreadCounts) {
    EXPECT_GE(ResolveThreadCount(0, 480), 1);
    EXPECT_EQ(ResolveThreadCount(1, 480), 1);
    EXPECT_EQ(ResolveThreadCount(3, 480), 3);
    EXPECT_EQ(ResolveThreadCount(64, 5), 5);
    EXPECT_EQ(ResolveThreadCount(-4, 0), 1);
}

// Rows of tens of megabytes get no ring: the caller traces in place.
TEST(RowPipeline, RowsTooWideForARingAreRefused) {
    int calls = 0;
    EXPECT_FALSE(RunRows(
        3000000, 4, 2, [&](int, ColorRGB*) { ++calls; }, [&](int, const ColorRGB*) { ++calls; }));
    EXPECT_EQ(calls, 0);
}

TEST(RowPipeline, EveryRowComputedOnceAndShownInOrderOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    for (int threads : {1, 2, 3, 5, 8}) {
        for (int height : {1, 2, 7, 61}) {
            const int width = 3;
            std::vector<int> computed(static_cast<size_t>(height), 0);
            std::vector<int> shown;
            bool otherThread = false;
            bool ok = RunRows(
                width, height, threads,
                [&](int y, ColorRGB* row) {
                    // Rows take uneven times, so that they finish out of order.
                    if (y % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                    for (int x = 0; x < width; ++x) row[x] = ColorRGB(float(x), float(y), 1);
                    ++computed[static_cast<size_t>(y)];  // each row by one thread only
                },
                [&](int y, const ColorRGB* row) {
                    if (std::this_thread::get_id() != caller) otherThread = true;
                    for (int x = 0; x < width; ++x)
                        if (row[x].r != float(x) || row[x].g != float(y)) shown.push_back(-1);
                    shown.push_back(y);
                });
            ASSERT_TRUE(ok);
            std::vector<int> order(static_cast<size_t>(height));
            for (int y = 0; y < height; ++y) order[static_cast<size_t>(y)] = y;
            EXPECT_EQ(shown, order) << threads << " threads, " << height << " rows";
            EXPECT_EQ(computed, std::vector<int>(static_cast<size_t>(height), 1));
            EXPECT_FALSE(otherThread);
        }
    }
}

}  // namespace
}  // namespace kx::raytrace
