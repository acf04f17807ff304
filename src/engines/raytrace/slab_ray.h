// The slab test of one ray against many boxes, in double precision, as
// SlabTest (bounding_tree.h) decides it: shared by the scene's tree and the
// face hierarchies of polygon sets.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/math.h"
#include "engines/raytrace/bounding_tree.h"

namespace kx::raytrace {

// A ray in double precision, ready for the slab tests of one query.
//
// The test must decide exactly as SlabTest does, quotient for quotient, or
// a ray could meet a different set of objects. With every direction
// component non-zero (and tmin, tmax numbers) the three axes are tested
// together on the same quotients. Only the order of the comparisons
// changes, which cannot change the outcome: the interval only narrows, and
// a NaN quotient narrows it in neither form (minpd and maxpd return their
// second operand then, as the scalar "if" keeps its old value).
struct SlabRay {
    double origin[3];
    double direction[3];
    bool packed = false;  // the axes are tested together
#ifdef __SSE2__
    __m128d oxy, dxy, oz, dz;
#endif
    SlabRay(const Ray& r, double tmin, double tmax) {
        for (int i = 0; i < 3; ++i) {
            origin[i] = r.origin[i];
            direction[i] = r.direction[i];
        }
#ifdef __SSE2__
        packed = direction[0] != 0 && direction[1] != 0 && direction[2] != 0 && tmin == tmin && tmax == tmax;
        oxy = _mm_loadu_pd(origin);
        dxy = _mm_loadu_pd(direction);
        oz = _mm_set1_pd(origin[2]);
        dz = _mm_set1_pd(direction[2]);
#else
        (void)tmin;
        (void)tmax;
#endif
    }

#ifdef __SSE2__
    // The interval ends from the quotients t0 = (lower - o)/d
    // and t1 = (upper - o)/d of x, y (two lanes) and z (lanes: t0, t1).
    static void Ends(__m128d t0, __m128d t1, __m128d tz, double tmin, double tmax, __m128d& tn, __m128d& tf) {
        __m128d tz1 = _mm_unpackhi_pd(tz, tz);
        // near = t0 > t1 ? t1 : t0, far = t0 > t1 ? t0 : t1
        __m128d nearXY = _mm_min_pd(t1, t0), farXY = _mm_max_pd(t0, t1);
        __m128d nearZ = _mm_min_sd(tz1, tz), farZ = _mm_max_sd(tz, tz1);
        // tnear = near > tnear ? near : tnear, tfar = far < tfar ? far : tfar
        tn = _mm_max_sd(nearXY, _mm_set_sd(tmin));
        tf = _mm_min_sd(farXY, _mm_set_sd(tmax));
        tn = _mm_max_sd(_mm_unpackhi_pd(nearXY, nearXY), tn);
        tf = _mm_min_sd(_mm_unpackhi_pd(farXY, farXY), tf);
        tn = _mm_max_sd(nearZ, tn);
        tf = _mm_min_sd(farZ, tf);
    }
#endif

    // Exactly SlabTest(lower, upper, origin, direction, tmin, tmax).
    bool hits(const double lower[3], const double upper[3], double tmin, double tmax) const {
#ifdef __SSE2__
        if (packed) {
            __m128d a0 = _mm_sub_pd(_mm_loadu_pd(lower), oxy);
            __m128d a1 = _mm_sub_pd(_mm_loadu_pd(upper), oxy);
            __m128d az = _mm_sub_pd(_mm_set_pd(upper[2], lower[2]), oz);
            __m128d tn, tf;
            Ends(_mm_div_pd(a0, dxy), _mm_div_pd(a1, dxy), _mm_div_pd(az, dz), tmin, tmax, tn, tf);
            return !(_mm_cvtsd_f64(tn) > _mm_cvtsd_f64(tf));
        }
#endif
        return SlabTest(lower, upper, origin, direction, tmin, tmax);
    }
};

}  // namespace kx::raytrace
