// Bezier patches cut into quadrilaterals.
#include "surface/bezier_patch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "core/limits.h"
#include "core/errors.h"

namespace kx {

namespace {

// Working vectors larger than this many floats are given back after a call.
constexpr size_t kKeptFloats = size_t{1} << 18;
// The per-column u reductions of a net are kept for the whole patch when
// they take at most this many floats; otherwise each column is reduced when
// it is needed.
constexpr size_t kColumnCacheFloats = size_t{1} << 20;

void Release(std::vector<float>& v) {
    v.clear();
    v.shrink_to_fit();
}

void Trim(std::vector<float>& v) {
    if (v.capacity() > kKeptFloats) Release(v);
}

// De Casteljau costs a number of steps quadratic in the degree for every
// evaluated point, so a hostile degree would keep the engine busy for hours;
// past kInterpolationBudget fewer points are evaluated (at least the end
// points, which cost no steps). Curves and patches of modest degree never
// reach it.

// The segments used for n asked for, perPoint steps per evaluated point;
// a surface evaluates n x n points.
}  // namespace

int LimitBezierSegments(int n, double perPoint, bool surface) {
    if (n <= 1 || perPoint <= 0) return n;
    double most = kInterpolationBudget / perPoint;
    if (surface) most = std::sqrt(most);
    if (most >= n) return n;
    return most < 1 ? 1 : static_cast<int>(most);
}

namespace {

inline float Parameter(int i, int n) { return static_cast<float>(i) / static_cast<float>(n); }

// A net of cols x rows points of width floats (u fastest, in the storage's
// points), evaluated at the parameters u = c/n of the columns c = 0 .. n and
// any v. The constructor sizes the storage and may throw std::bad_alloc.
class NetEvaluator {
public:
    NetEvaluator(BezierNetStorage& st, int cols, int rows, int width, int n)
        : st_(st), cols_(cols), rows_(rows), width_(width), n_(n) {
        const size_t column = static_cast<size_t>(rows) * width;
        cached_ = static_cast<size_t>(n + 1) * column <= kColumnCacheFloats;
        st_.table.resize(cached_ ? static_cast<size_t>(n + 1) * column : column);
        st_.copy.resize(static_cast<size_t>(std::max(cols, rows)) * width);
        if (cached_)
            for (int c = 0; c <= n; ++c) reduceColumn(c, &st_.table[c * column]);
    }

    // Every row reduced along u at column c: rows * width floats.
    const float* column(int c) {
        if (cached_) return &st_.table[static_cast<size_t>(c) * rows_ * width_];
        reduceColumn(c, st_.table.data());
        return st_.table.data();
    }

    // The point at (column, v) into out (width floats).
    void at(const float* column, float v, float* out) {
        std::memcpy(st_.copy.data(), column, static_cast<size_t>(rows_) * width_ * sizeof(float));
        DeCasteljau(st_.copy.data(), rows_, width_, width_, v);
        std::memcpy(out, st_.copy.data(), width_ * sizeof(float));
    }

private:
    void reduceColumn(int c, float* out) {
        const float u = Parameter(c, n_);
        const size_t row = static_cast<size_t>(cols_) * width_;
        for (int j = 0; j < rows_; ++j) {
            std::memcpy(st_.copy.data(), st_.points.data() + j * row, row * sizeof(float));
            DeCasteljau(st_.copy.data(), cols_, width_, width_, u);
            std::memcpy(out + static_cast<size_t>(j) * width_, st_.copy.data(), width_ * sizeof(float));
        }
    }

    BezierNetStorage& st_;
    int cols_, rows_, width_, n_;
    bool cached_ = false;
};

}  // namespace

void DeCasteljau(float* p, int count, int step, int width, float t) {
    if (count <= 1 || t == 0) return;
    if (t == 1) {
        std::memmove(p, p + static_cast<size_t>(count - 1) * step, width * sizeof(float));
        return;
    }
    for (int r = count - 1; r >= 1; --r) {
        for (int k = 0; k < r; ++k) {
            float* a = p + static_cast<size_t>(k) * step;
            const float* b = a + step;
            for (int f = 0; f < width; ++f) a[f] = a[f] + (b[f] - a[f]) * t;
        }
    }
}

void BezierWork::release() {
    for (BezierNetStorage* st : {&surface, &du, &dv})
        for (std::vector<float>* v : {&st->points, &st->table, &st->copy}) Release(*v);
}

void BezierWork::trim() {
    for (BezierNetStorage* st : {&surface, &du, &dv})
        for (std::vector<float>* v : {&st->points, &st->table, &st->copy}) Trim(*v);
}

namespace {

// The nets of a patch under evaluation: the surface records and, when the
// normals are derived, the u and v derivative nets of the positions.
class PatchEvaluator {
public:
    // normal: the offset into which normals derived from the positions
    // are written, -1 for none; the derivative nets exist only when m > 0
    // and k > 0.
    PatchEvaluator(BezierWork& w, int m, int k, int width, int n, int normal)
        : surface_(w.surface, m + 1, k + 1, width, n) {
        if (normal >= 0 && m > 0 && k > 0) {
            du_.emplace(w.du, m, k + 1, 3, n);
            dv_.emplace(w.dv, m + 1, k, 3, n);
        }
        normal_ = normal;
    }

    struct Column {
        const float *surface, *du, *dv;
    };
    Column column(int c) {
        return {surface_.column(c), du_ ? du_->column(c) : nullptr, dv_ ? dv_->column(c) : nullptr};
    }

    // The surface point at (column, v). With derived normals its normal is
    // Du x Dv there, or zero when the net has degree 0 in a direction.
    void at(const Column& c, float v, float* out) {
        surface_.at(c.surface, v, out);
        if (normal_ < 0) return;
        Vector3 n;
        if (du_) {
            Vector3 a, b;
            du_->at(c.du, v, a.data());
            dv_->at(c.dv, v, b.data());
            n = cross(a, b);
        }
        out[normal_] = n.x;
        out[normal_ + 1] = n.y;
        out[normal_ + 2] = n.z;
    }

private:
    NetEvaluator surface_;
    std::optional<NetEvaluator> du_, dv_;
    int normal_ = -1;
};


}  // namespace

int TessellateBezierPatch(BezierWork& w, int m, int k, int width, int pos, int normal, int n, PatchQuads& out) {
    if (width > kMaxPatchRecordFloats) return 0;
    const int cols = m + 1, rows = k + 1;
    // Per point: the rows along u, the result along v, and as much again at
    // most for the derivative nets.
    n = LimitBezierSegments(n, (m + 1.0) * (k + 1.0) * (m + k + 2.0) / 2, true);

    // Normals from the derivatives of the positions when the points bring
    // none. A net of degree 0 in a direction has no derivative there: its
    // normals are zero (such a patch has no area either).
    const bool derivatives = normal >= 0 && m > 0 && k > 0;
    const float* rec = w.surface.points.data();
    std::optional<PatchEvaluator> eval;
    try {
        if (derivatives) {
            // Du(i, j) = m (P(i+1, j) - P(i, j)); Dv(i, j) = k (P(i, j+1) - P(i, j)).
            w.du.points.resize(static_cast<size_t>(m) * rows * 3);
            w.dv.points.resize(static_cast<size_t>(cols) * k * 3);
            const float fm = static_cast<float>(m), fk = static_cast<float>(k);
            const size_t rowFloats = static_cast<size_t>(cols) * width;
            for (int j = 0; j < rows; ++j)
                for (int i = 0; i < cols; ++i) {
                    const float* p = rec + j * rowFloats + static_cast<size_t>(i) * width + pos;
                    for (int f = 0; f < 3; ++f) {
                        if (i < m) w.du.points[(static_cast<size_t>(j) * m + i) * 3 + f] = fm * (p[width + f] - p[f]);
                        if (j < k) w.dv.points[(static_cast<size_t>(j) * cols + i) * 3 + f] = fk * (p[rowFloats + f] - p[f]);
                    }
                }
        }
        eval.emplace(w, m, k, width, n, normal);
    } catch (const std::bad_alloc&) {
        w.release();
        return kErrDisplayMemory;
    }

    // Records of the corners; the floats past width stay zero.
    struct Record {
        float v[kMaxPatchRecordFloats] = {};
        float operator[](int i) const { return v[i]; }
    } a, b, a2, b2;
    for (int r = 0; r < n; ++r) {
        const float sv = Parameter(r, n), tv = Parameter(r + 1, n);
        PatchEvaluator::Column col = eval->column(0);
        eval->at(col, sv, a.v);
        eval->at(col, tv, b.v);
        for (int c = 1; c <= n; ++c) {
            col = eval->column(c);
            eval->at(col, sv, a2.v);
            eval->at(col, tv, b2.v);
            Vector3 pa(a[pos], a[pos + 1], a[pos + 2]);
            Vector3 ea = Vector3(a2[pos], a2[pos + 1], a2[pos + 2]) - pa;
            Vector3 eb = Vector3(b[pos], b[pos + 1], b[pos + 2]) - pa;
            out.quad(a.v, a2.v, b2.v, b.v, cross(ea, eb));
            a = a2;
            b = b2;
        }
    }
    w.trim();
    return 0;
}


}  // namespace kx
