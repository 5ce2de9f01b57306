#include "setup/deck_checks.hpp"

#include <cmath>
#include <ostream>
#include <vector>

#include "input/deck_layout.hpp"
#include "text/format.hpp"
#include "state/run_stop.hpp"
#include "state/zones.hpp"

namespace quilmar {
namespace {

std::string text_of(double v) { return shortest_real(v); }
std::string text_of(int v) { return std::to_string(v); }

// Stops the run: the deck item, its value and the rule it breaks.
template <typename T>
[[noreturn]] void reject(const std::string& name, T value, const std::string& rule) {
    throw RunStop(kExitInputOrIndex, deck_item_label(name) + ": " + text_of(value) + " " + rule);
}

template <typename T>
void warn(std::ostream& err, const char* name, T value, const std::string& what) {
    err << "quilmar_v3: warning: " << deck_item_label(name) << ": " << text_of(value) << " " << what << '\n';
}

// Written so that NaN fails the test as well.
bool positive(double v) { return v > 0.0; }

void require_matrix_code(const Deck& d) {
    if (!valid_matrix_code(d.mdflags)) reject("mdflags", d.mdflags, "must be one of the matrix codes 0 to 7");
}

// Porosity, tortuosity and diffusion coefficient of the matrix enter the divisions of the
// matrix terms wherever an element has a matrix; the diffusion length only where the
// element holds embedded material.
void require_matrix_properties(const Deck& d) {
    if (!matrix_diffusion_on(d.mdflags)) return;
    const std::string code = " (mdflags " + std::to_string(d.mdflags) + ")";
    if (!positive(d.porms)) reject("porms", d.porms, "must be positive when the matrix takes part" + code);
    if (!positive(d.tortms)) reject("tortms", d.tortms, "must be positive when the matrix takes part" + code);
    if (!positive(d.diffs)) reject("diffs", d.diffs, "must be positive when the matrix takes part" + code);
    if (has_embedded_matrix(d.mdflags) && !positive(d.difflens))
        reject("difflens", d.difflens, "must be positive for a code with embedded matrix" + code);
    // The matrix retardation divides the production terms of the daughters' profiles; at 0
    // or below the stored amounts are not finite.
    for (int m = 1; m <= kComponents; ++m)
        if (!positive(d.retardms(m)))
            reject("retardms(" + std::to_string(m) + ")", d.retardms(m), "must be positive when the matrix takes part" + code);
}

void require_volume_fraction(const Deck& d) {
    if (!(d.volfracs > 0.0 && d.volfracs <= 1.0)) reject("volfracs", d.volfracs, "must lie in (0, 1]");
}

void require_cell_sizes(const Deck& d) {
    if (!positive(d.dx)) reject("dx", d.dx, "must be positive");
    if (!positive(d.dy)) reject("dy", d.dy, "must be positive");
    if (!positive(d.dz)) reject("dz", d.dz, "must be positive");
}

// A grid needs at least one cell along each axis; with none, no array would be filled
// and the run would write empty results.
void require_cell_counts(const Deck& d) {
    if (d.nx < 1) reject("nx", d.nx, "must be at least 1 (cells along the flow)");
    if (d.ny < 1) reject("ny", d.ny, "must be at least 1 (rows across the flow)");
    if (d.nz < 1) reject("nz", d.nz, "must be at least 1 (layers)");
}

// Advection runs through the whole cell where there is no embedded material, while
// storage and dispersion still take only the fraction volfracs of it.
void warn_unused_volume_fraction(const Deck& d, std::ostream& err) {
    if (d.volfracs < 1.0 && !has_embedded_matrix(d.mdflags))
        warn(err, "volfracs", d.volfracs,
             "is below 1 with mdflags " + std::to_string(d.mdflags) +
                 ", a code without embedded matrix: advection ignores it while storage and dispersion use it");
}

void warn_wide_cell_centre(std::ostream& err, const char* size_name, double size, int count, const char* axis) {
    if (count < 1) return;
    const double last = cell_centre(count, size);
    if (!overflows_result_field(last)) return;
    warn(err, size_name, size,
         std::string("puts the last cell centre at ") + axis + " = " + text_of(last) +
             ", too wide for the coordinate fields of the result files (asterisks from 9999.9995 on); "
             "a larger length unit avoids this");
}

void warn_wide_cell_centres(const Deck& d, std::ostream& err) {
    warn_wide_cell_centre(err, "dx", d.dx, d.nx, "x");
    warn_wide_cell_centre(err, "dy", d.dy, d.ny, "y");
    warn_wide_cell_centre(err, "dz", d.dz, d.nz, "z");
}

// The search leaves an index at 0 when no cell matches.
void require_well_row(const Deck& d, const WellCells& w) {
    if (w.jwell == 0)
        reject("ywell", d.ywell,
               "matches no row of the grid: its distance from the plume centre line must lie within 0 to ny*dy = " +
                   text_of(d.ny * d.dy));
}

void require_well_layers(const Deck& d, const WellCells& w) {
    const std::string range = "must lie within 0 to nz*dz = " + text_of(d.nz * d.dz);
    if (w.kwelltop == 0) reject("zwelltop", d.zwelltop, "matches no layer of the grid: it " + range);
    if (w.kwellbot == 0) reject("zwellbot", d.zwellbot, "matches no layer of the grid: it " + range);
    if (w.kwellbot > w.kwelltop)
        reject("zwellbot", d.zwellbot,
               "lies in layer " + std::to_string(w.kwellbot) + ", above layer " + std::to_string(w.kwelltop) +
                   " of zwelltop = " + text_of(d.zwelltop) + ": the screen bottom must not lie above its top");
}

void warn_well_column(const Deck& d, const WellCells& w, std::ostream& err) {
    if (w.iwell == 0)
        warn(err, "xwell", d.xwell,
             "matches no column of the grid (x from 0 to nx*dx = " + text_of(d.nx * d.dx) +
                 "): the observation well samples the source plane");
}

void require_source_rows(const Deck& d) {
    if (d.lysource < 1 || d.lysource > d.ny)
        reject("lysource", d.lysource, "must lie in 1 to ny = " + std::to_string(d.ny) + " (source rows)");
}

void require_source_layers(const Deck& d) {
    if (d.lzsourcemin < 1) reject("lzsourcemin", d.lzsourcemin, "must be at least 1 (the bottom layer)");
    if (d.lzsourcemax > d.nz)
        reject("lzsourcemax", d.lzsourcemax, "must be at most nz = " + std::to_string(d.nz) + " (the top layer)");
    if (d.lzsourcemin > d.lzsourcemax)
        reject("lzsourcemin", d.lzsourcemin,
               "must not lie above lzsourcemax = " + std::to_string(d.lzsourcemax) + " (the source has no layer)");
}

// The upwind scheme carries water and solute along +x only; 0 (no flow) is allowed.
void require_forward_flow(const Deck& d) {
    if (d.vd < 0.0)
        reject("vd", d.vd, "must not be negative: the flow runs along +x from the source plane (0 for no flow)");
}

void require_removed_fraction(const Deck& d) {
    if (!(d.xremove >= 0.0 && d.xremove <= 1.0))
        reject("xremove", d.xremove, "must lie in [0, 1] (the fraction of the source mass removed)");
}

void warn_reversed_remediation(const Deck& d, std::ostream& err) {
    if (d.t2 < d.t1)
        warn(err, "t2", d.t2,
             "lies before t1 = " + text_of(d.t1) +
                 ": the remediation period is reversed, and the removal takes effect at t2 instead");
}

void require_positive_time_step(const Deck& d) {
    if (!positive(d.dt)) reject("dt", d.dt, "must be positive");
}

void warn_wide_times(const Deck& d, std::ostream& err) {
    if (d.nt < 1) return;
    const double last = d.nt * d.dt;
    if (!overflows_result_field(last)) return;
    warn(err, "dt", d.dt,
         "with nt = " + std::to_string(d.nt) + " takes the model time to " + text_of(last) +
             ", too wide for the time fields of the result files (asterisks from 9999.9995 on); "
             "a larger time unit avoids this");
}

}  // namespace

std::string deck_item_label(const std::string& name) {
    static Deck layout;
    static const std::vector<std::vector<DeckItem>> records = deck_records(layout);
    for (std::size_t r = 0; r < records.size(); ++r)
        for (std::size_t k = 0; k < records[r].size(); ++k)
            if (records[r][k].name == name)
                return "deck record " + std::to_string(r + 1) + ", item " + std::to_string(k + 1) + " (" + name + ")";
    return "deck item " + name;
}

bool overflows_result_field(double v) { return format_fixed(v, 8, 3).front() == '*' || !std::isfinite(v); }

void check_elements(const Deck& d, std::ostream& err) {
    require_matrix_code(d);
    require_matrix_properties(d);
    require_volume_fraction(d);
    require_cell_sizes(d);
    require_cell_counts(d);
    warn_unused_volume_fraction(d, err);
    warn_wide_cell_centres(d, err);
}

void check_well(const Deck& d, const WellCells& w, std::ostream& err) {
    require_well_row(d, w);
    require_well_layers(d, w);
    warn_well_column(d, w, err);
}

void check_source(const Deck& d, std::ostream& err) {
    require_removed_fraction(d);
    require_forward_flow(d);
    require_source_rows(d);
    require_source_layers(d);
    warn_reversed_remediation(d, err);
}

void check_transport(const Deck& d) {
    if (!positive(d.porf)) reject("porf", d.porf, "must be positive");
}

void check_time_steps(const Deck& d, std::ostream& err) {
    require_positive_time_step(d);
    warn_wide_times(d, err);
}

}  // namespace quilmar
