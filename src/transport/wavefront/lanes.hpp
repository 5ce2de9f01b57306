#pragma once
// Lanes: four doubles side by side, with the plain IEEE operations of the scalar update
// applied lane by lane (no contraction into fused operations: the build forbids it).
//
// Values that several translation units share (step constants, masks, largest changes)
// are kept as aligned arrays of four (LaneValues, LaneMask). The vector type Vec itself is
// local to each translation unit that includes this header: where the unit is compiled for
// AVX it is a 256-bit vector, elsewhere a pair of 128-bit halves. So no 256-bit value is
// ever passed between code compiled for different instruction sets, and no such function
// is shared between them by the linker.
#include <cstddef>

namespace quilmar::wavefront {

constexpr int W = 4;

struct alignas(32) LaneValues {
    double v[W];
};
struct alignas(32) LaneMask {
    long long v[W];  // all ones where set, zero where clear
};

inline LaneValues splat_values(double x) { return LaneValues{{x, x, x, x}}; }
inline LaneMask lane_mask(const bool* on) {
    return LaneMask{{on[0] ? -1LL : 0, on[1] ? -1LL : 0, on[2] ? -1LL : 0, on[3] ? -1LL : 0}};
}

namespace {

#if defined(__AVX__)
typedef double Vec __attribute__((vector_size(W * sizeof(double))));
typedef long long Mask __attribute__((vector_size(W * sizeof(double))));
// Four doubles at p, which need only a double's alignment. Read and written as doubles (a
// vector of doubles aliases doubles only), so that the compiler knows a field store leaves
// the solver's offsets and pointers as they were.
typedef double VecAtDouble __attribute__((vector_size(W * sizeof(double)), aligned(alignof(double))));
inline Vec load(const double* p) { return *reinterpret_cast<const VecAtDouble*>(p); }
inline void store(double* p, Vec v) { *reinterpret_cast<VecAtDouble*>(p) = v; }
inline Vec load(const LaneValues& a) { return *reinterpret_cast<const Vec*>(a.v); }
inline Mask load(const LaneMask& a) { return *reinterpret_cast<const Mask*>(a.v); }
inline void store(LaneValues& a, Vec v) { *reinterpret_cast<Vec*>(a.v) = v; }
inline Vec splat(double x) { return Vec{x, x, x, x}; }
// Lane by lane: a where the mask is set, b where it is clear. Picks bits, no arithmetic.
inline Vec select(Mask m, Vec a, Vec b) { return m ? a : b; }
inline Vec abs_of(Vec v) {
    const Mask no_sign = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return (Vec)((Mask)v & no_sign);
}
#else
typedef double Half __attribute__((vector_size(2 * sizeof(double))));
typedef long long HalfMask __attribute__((vector_size(2 * sizeof(double))));
typedef double HalfAtDouble __attribute__((vector_size(2 * sizeof(double)), aligned(alignof(double))));
struct Vec {
    Half lo, hi;
    double operator[](int l) const { return l < 2 ? lo[l] : hi[l - 2]; }
};
struct Mask {
    HalfMask lo, hi;
};
inline Vec operator+(Vec a, Vec b) { return Vec{a.lo + b.lo, a.hi + b.hi}; }
inline Vec operator-(Vec a, Vec b) { return Vec{a.lo - b.lo, a.hi - b.hi}; }
inline Vec operator*(Vec a, Vec b) { return Vec{a.lo * b.lo, a.hi * b.hi}; }
inline Vec operator/(Vec a, Vec b) { return Vec{a.lo / b.lo, a.hi / b.hi}; }
inline Mask operator>(Vec a, Vec b) { return Mask{a.lo > b.lo, a.hi > b.hi}; }
inline Mask operator!=(Vec a, Vec b) { return Mask{a.lo != b.lo, a.hi != b.hi}; }
inline Mask operator|(Mask a, Mask b) { return Mask{a.lo | b.lo, a.hi | b.hi}; }
inline Vec load(const double* p) {
    return Vec{*reinterpret_cast<const HalfAtDouble*>(p), *reinterpret_cast<const HalfAtDouble*>(p + 2)};
}
inline void store(double* p, Vec v) {
    *reinterpret_cast<HalfAtDouble*>(p) = v.lo;
    *reinterpret_cast<HalfAtDouble*>(p + 2) = v.hi;
}
inline Vec load(const LaneValues& a) {
    return Vec{*reinterpret_cast<const Half*>(a.v), *reinterpret_cast<const Half*>(a.v + 2)};
}
inline Mask load(const LaneMask& a) {
    return Mask{*reinterpret_cast<const HalfMask*>(a.v), *reinterpret_cast<const HalfMask*>(a.v + 2)};
}
inline void store(LaneValues& a, Vec v) { store(a.v, v); }
inline Vec splat(double x) { return Vec{Half{x, x}, Half{x, x}}; }
inline Vec select(Mask m, Vec a, Vec b) { return Vec{m.lo ? a.lo : b.lo, m.hi ? a.hi : b.hi}; }
inline Vec abs_of(Vec v) {
    const HalfMask no_sign = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return Vec{(Half)((HalfMask)v.lo & no_sign), (Half)((HalfMask)v.hi & no_sign)};
}
#endif

// +0 in every lane.
inline Vec zeros() { return splat(0.0); }

// Every lane moved up by one: lane l takes lane l-1, lane 0 takes +0.
#if defined(__AVX__)
inline Vec shift_up(Vec v) { return __builtin_shufflevector(v, zeros(), 4, 0, 1, 2); }
#else
inline Vec shift_up(Vec v) { return Vec{Half{0.0, v.lo[0]}, Half{v.lo[1], v.hi[0]}}; }
#endif

}  // namespace
}  // namespace quilmar::wavefront
