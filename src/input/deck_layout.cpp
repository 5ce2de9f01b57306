#include "input/deck_layout.hpp"

#include <ostream>

namespace quilmar {
namespace {

std::string indexed(const char* name, int m) { return std::string(name) + "(" + std::to_string(m) + ")"; }

DeckItem real(std::string name, double& v) { return DeckItem{std::move(name), &v, nullptr}; }
DeckItem integer(std::string name, int& v) { return DeckItem{std::move(name), nullptr, &v}; }

std::vector<DeckItem> per_component(const char* name, CompReal& a, int first) {
    std::vector<DeckItem> items;
    for (int m = first; m <= kComponents; ++m) items.push_back(real(indexed(name, m), a(m)));
    return items;
}

// Records of a decay table: one record per component (outer) and zone (inner), holding the
// rates of the three periods.
void add_decay_records(std::vector<std::vector<DeckItem>>& records, const char* name, ZoneTable& t) {
    for (int m = 1; m <= kComponents; ++m)
        for (int z = 1; z <= 3; ++z) {
            std::vector<DeckItem> rec;
            for (int it = 1; it <= 3; ++it)
                rec.push_back(real(std::string(name) + "(" + std::to_string(m) + "," + std::to_string(z) + "," +
                                       std::to_string(it) + ")",
                                   t(m, z, it)));
            records.push_back(std::move(rec));
        }
}

}  // namespace

std::vector<std::vector<DeckItem>> deck_records(Deck& d) {
    std::vector<std::vector<DeckItem>> r;
    r.push_back(per_component("czero", d.czero, 1));                                            // 1
    r.push_back(per_component("tzeromass", d.tzeromass, 1));                                    // 2
    r.push_back({real("gamma", d.gamma), real("xremove", d.xremove), real("t1", d.t1), real("t2", d.t2)});  // 3
    r.push_back({real("rates", d.rates), integer("lysource", d.lysource), integer("lzsourcemax", d.lzsourcemax),
                 integer("lzsourcemin", d.lzsourcemin), real("vd", d.vd)});                     // 4
    r.push_back({real("porf", d.porf), real("tortf", d.tortf), real("alphax", d.alphax), real("alphat", d.alphat),
                 real("alphav", d.alphav)});                                                    // 5
    r.push_back(per_component("retardf", d.retardf, 1));                                       // 6
    r.push_back({real("x1", d.x1), real("x2", d.x2)});                                          // 7
    r.push_back({real("tplume1", d.tplume1), real("tplume2", d.tplume2)});                      // 8
    r.push_back(per_component("yieldf", d.yieldf, 2));                                         // 9
    add_decay_records(r, "decayf", d.decayf);                                                   // 10-21
    r.push_back({integer("mdflags", d.mdflags), real("porms", d.porms), real("tortms", d.tortms),
                 real("diffs", d.diffs), real("amd", d.amd), real("volfracs", d.volfracs),
                 real("difflens", d.difflens)});                                                // 22
    r.push_back(per_component("retardms", d.retardms, 1));                                      // 23
    r.push_back(per_component("yieldms", d.yieldms, 2));                                        // 24
    add_decay_records(r, "decayms", d.decayms);                                                 // 25-36
    r.push_back({real("dx", d.dx), integer("nx", d.nx)});                                       // 37
    r.push_back({real("dy", d.dy), integer("ny", d.ny)});                                       // 38
    r.push_back({real("dz", d.dz), integer("nz", d.nz)});                                       // 39
    r.push_back({real("dt", d.dt), integer("nt", d.nt), integer("npt", d.npt)});                // 40
    r.push_back({real("tol", d.tol), integer("maxit", d.maxit)});                               // 41
    r.push_back({real("xwell", d.xwell), real("ywell", d.ywell), real("zwelltop", d.zwelltop),
                 real("zwellbot", d.zwellbot)});                                                // 42
    return r;
}

std::string echo_record(const std::vector<DeckItem>& items) {
    std::string line;
    for (const DeckItem& item : items) {
        line += ' ';
        line += item.integer ? std::to_string(*item.integer) : shortest_real(*item.real);
    }
    return line;
}

void read_deck(Model& s, std::istream& in, std::ostream& out, std::ostream* err) {
    DeckReader reader(in);
    const auto records = deck_records(s.deck);
    for (int r = 1; r <= static_cast<int>(records.size()); ++r) {
        for (int line = 1; line <= 2; ++line) {
            s.com1 = reader.read_comment(r, line);
            out << s.com1 << '\n';
        }
        reader.read_record(r, records[r - 1]);
        out << echo_record(records[r - 1]) << '\n';
        if (err && !reader.surplus_number().empty())
            *err << "quilmar_v3: warning: deck record " << r << ": the line goes on after the record's "
                 << records[r - 1].size() << " values with \"" << reader.surplus_number()
                 << "\", which reads as a number; it is ignored (a value too many?)\n";
    }
    out.flush();
}

}  // namespace quilmar
