#include "results/result_files.hpp"

#include "state/run_stop.hpp"

namespace quilmar {

void ResultFiles::open(const std::string& dir) {
    const std::string prefix = dir.empty() || dir == "." ? "" : dir + "/";
    discharge.open(prefix + "discharge.out", "discharge.out");
    quilmar.open(prefix + "Quilmar.out", "Quilmar.out");
    plume_mass.open(prefix + "plume_mass.out", "plume_mass.out");
    obs_well.open(prefix + "obs_well.out", "obs_well.out");
    discharge.write_line(" Time, X, Discharge1, Discharge2, Discharge3, Discharg4");
    quilmar.write_line(" Time,X,Y,Z,Conc1,Conc2,Conc3,Conc4");
    plume_mass.write_line(" Time,C1low,C1hi,C2low,C2hi,C3low,C3hi,C4low,C4hi");
    obs_well.write_line(" Time, C1well, C2well, C3well, C4well");
    flush();
}

void ResultFiles::flush() {
    discharge.flush();
    quilmar.flush();
    plume_mass.flush();
    obs_well.flush();
}

void ResultFiles::close() {
    discharge.close();
    quilmar.close();
    plume_mass.close();
    obs_well.close();
}

std::string ResultFiles::close_after_stop() noexcept {
    std::string report;
    for (LineFile* f : {&discharge, &quilmar, &plume_mass, &obs_well}) {
        try {
            f->close();
        } catch (const RunStop& stop) {
            if (report.empty()) report = stop.what();
        } catch (...) {
            if (report.empty()) report = "cannot write result file '" + f->name() + "'";
        }
    }
    return report;
}

}  // namespace quilmar
