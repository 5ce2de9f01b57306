#include "transport/wavefront/uniform_elements.hpp"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "state/zones.hpp"

namespace quilmar::wavefront {
namespace {

std::uint64_t bits_of(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Element n (1-based) of a per-element array, without the range check.
template <class A>
auto* first_of(const A& a) {
    return a.data() + a.position(1);
}

}  // namespace

bool elements_uniform(const Model& s) {
    const Deck& dk = s.deck;
    const MatrixdModule& md = s.md;
    if (dk.nx < 1 || dk.ny < 1 || dk.nz < 1) return false;
    const long nynz = static_cast<long>(dk.ny) * dk.nz;
    const long nel = nynz * dk.nx;
    if (nel != s.gv.nelmax) return false;
    const std::initializer_list<const ElementInt*> ints = {&md.mdflag, &md.mdembed, &md.mdtop, &md.mdbot};
    const std::initializer_list<const ElementReal*> reals = {&md.volfrac, &md.difflen, &md.porm,
                                                             &md.tortm,   &md.amd1,    &md.amd2};
    const std::initializer_list<const ElementCompReal*> comps = {&md.retardm, &md.yieldm, &md.diff, &md.alpha};
    const std::initializer_list<const ElementCompReal*> zonal = {&md.decaym, &md.alambdar};
    for (const ElementInt* a : ints)
        if (!a->covers(1, 1, nel)) return false;
    for (const ElementReal* a : reals)
        if (!a->covers(1, 1, nel)) return false;
    for (const auto& list : {comps, zonal})
        for (const ElementCompReal* a : list)
            if (!a->covers(1, 1, nel) || !a->covers(2, 1, kComponents)) return false;

    // Code and embedded material as in element 1; faces as in the same line of column 1.
    const int* flag = first_of(md.mdflag);
    const int* embed = first_of(md.mdembed);
    const int* top = first_of(md.mdtop);
    const int* bot = first_of(md.mdbot);
    for (long e = 0; e < nel; ++e)
        if (flag[e] != flag[0] || embed[e] != embed[0]) return false;
    for (long e = nynz; e < nel; ++e)
        if (top[e] != top[e % nynz] || bot[e] != bot[e % nynz]) return false;
    for (const ElementReal* a : reals) {
        const double* v = first_of(*a);
        const std::uint64_t b0 = bits_of(v[0]);
        for (long e = 1; e < nel; ++e)
            if (bits_of(v[e]) != b0) return false;
    }
    // Per component: as in element 1, and the matrix decay as in the first element of the
    // reaction zone.
    auto alike = [&](const ElementCompReal& a, long e, long ref) {
        for (int m = 1; m <= kComponents; ++m)
            if (bits_of(a.data()[a.position(e + 1, m)]) != bits_of(a.data()[a.position(ref + 1, m)])) return false;
        return true;
    };
    long zone_first[4] = {-1, -1, -1, -1};
    for (int i = 1; i <= dk.nx; ++i) {
        const int z = reaction_zone(cell_centre(i, dk.dx), dk.x1, dk.x2);
        if (z < 1 || z > 3) return false;
        const long first = (i - 1) * nynz;
        if (zone_first[z] < 0) zone_first[z] = first;
        for (long e = first; e < first + nynz; ++e) {
            for (const ElementCompReal* a : comps)
                if (!alike(*a, e, 0)) return false;
            for (const ElementCompReal* a : zonal)
                if (!alike(*a, e, zone_first[z])) return false;
        }
    }
    return true;
}

}  // namespace quilmar::wavefront
