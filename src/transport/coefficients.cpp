#include "transport/coefficients.hpp"

namespace quilmar {

void compute_transport_coefficients(Model& s) {
    const Deck& dk = s.deck;
    TransportCoefficients& tc = s.tc;
    tc.ayz = dk.dy * dk.dz * dk.volfracs;
    tc.axz = dk.dx * dk.dz * dk.volfracs;
    tc.axy = dk.dx * dk.dy * dk.volfracs;
    tc.vol = dk.dx * dk.dy * dk.dz;
    tc.volh = tc.vol * dk.volfracs;
    tc.dispv = dk.alphav * dk.vd / (dk.porf * dk.volfracs) + dk.diffs * dk.tortf;
    if (dk.nz == 1) tc.dispv = 0.0;
    tc.dispt = dk.alphat * dk.vd / (dk.porf * dk.volfracs) + dk.diffs * dk.tortf;
    if (dk.ny == 1) tc.dispt = 0.0;
    tc.dispx = (dk.alphax - 0.5 * dk.dx) * dk.vd / (dk.porf * dk.volfracs);
    if (tc.dispx < 0.0) tc.dispx = 0.0;
}

}  // namespace quilmar
