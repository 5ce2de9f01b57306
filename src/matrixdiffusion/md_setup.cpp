#include "matrixdiffusion/matrixdsr.hpp"
#include "state/matrix_codes.hpp"

#include <initializer_list>

namespace quilmar {
namespace {

// The matrix properties of element n: its interfaces from the code, the interface areas,
// and per component the retardation, effective diffusion and decay in the matrix. Md holds
// the module's arrays or unchecked views of them; both give the same values.
template <class Md, class Gv>
void element_properties(Md& md, const Gv& gv, int n, int icomp) {
    md.mdtop(n) = 0;
    md.mdbot(n) = 0;
    md.mdembed(n) = 0;
    md.amd1(n) = gv.area(n);
    const double aleng = gv.top(n) - gv.bot(n);
    const double volu = gv.area(n) * aleng;
    // Embedded interface area from the deck's volume fraction, before it may be forced to 1.
    md.amd2(n) = volu * (1.0 - md.volfrac(n)) / md.difflen(n);
    // The code's faces and embedded material; an element without embedded material is all
    // aquifer. A code outside 0 to 7 leaves everything as it is.
    if (valid_matrix_code(md.mdflag(n))) {
        const MatrixCode code = matrix_code(md.mdflag(n));
        if (code.below) md.mdbot(n) = 1;
        if (code.above) md.mdtop(n) = 1;
        if (code.embedded)
            md.mdembed(n) = 1;
        else
            md.volfrac(n) = 1.0;
    }
    for (int m = 1; m <= icomp; ++m) {
        md.retardm(n, m) = md.kd(n, m) * md.rhob(n) / md.porm(n) + 1.0;
        md.alpha(n, m) = md.diff(n, m) * md.tortm(n) / md.retardm(n, m);
        md.alambdar(n, m) = md.decaym(n, m) / md.retardm(n, m);
    }
}

// An array read and written without the range check, for element loops whose whole range
// was checked beforehand.
template <class A>
struct Unchecked {
    A& a;
    template <typename... I>
    auto& operator()(I... idx) const { return a.data()[a.position(idx...)]; }
};
template <class A>
Unchecked<A> unchecked(A& a) { return Unchecked<A>{a}; }

}  // namespace

void matrixdsr1(MatrixdModule& md, const GlobalVek& gv) {
    const int nel = gv.nelmax, icomp = gv.icomp;
    bool covered = nel >= 1 && icomp >= 1;
    for (const ElementInt* a : std::initializer_list<const ElementInt*>{&md.mdtop, &md.mdbot, &md.mdembed, &md.mdflag}) covered = covered && a->covers(1, 1, nel);
    for (const ElementReal* a : std::initializer_list<const ElementReal*>{&md.amd1, &md.amd2, &md.volfrac, &md.difflen, &md.rhob, &md.porm, &md.tortm, &gv.area,
                          &gv.top, &gv.bot})
        covered = covered && a->covers(1, 1, nel);
    for (const auto* a : {&md.retardm, &md.alpha, &md.alambdar, &md.kd, &md.diff, &md.decaym})
        covered = covered && a->covers(1, 1, nel) && a->covers(2, 1, icomp);
    if (!covered) {
        for (int n = 1; n <= nel; ++n) element_properties(md, gv, n, icomp);
        return;
    }
    struct {
        Unchecked<ElementInt> mdtop, mdbot, mdembed, mdflag;
        Unchecked<ElementReal> amd1, amd2, volfrac, difflen, rhob, porm, tortm;
        Unchecked<ElementCompReal> retardm, alpha, alambdar, kd, diff, decaym;
    } u{unchecked(md.mdtop),   unchecked(md.mdbot),   unchecked(md.mdembed),  unchecked(md.mdflag),
        unchecked(md.amd1),    unchecked(md.amd2),    unchecked(md.volfrac),  unchecked(md.difflen),
        unchecked(md.rhob),    unchecked(md.porm),    unchecked(md.tortm),    unchecked(md.retardm),
        unchecked(md.alpha),   unchecked(md.alambdar), unchecked(md.kd),      unchecked(md.diff),
        unchecked(md.decaym)};
    const GlobalVek& g = gv;
    struct {
        Unchecked<const ElementReal> area, top, bot;
    } ug{{g.area}, {g.top}, {g.bot}};
    for (int n = 1; n <= nel; ++n) element_properties(u, ug, n, icomp);
}

}  // namespace quilmar
