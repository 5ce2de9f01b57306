#include "state/model.hpp"

namespace quilmar {
namespace {

CompReal comp_array(const char* name) { return CompReal(name, {1}, {kComponents}, {0}); }
ZoneTable zone_table(const char* name) { return ZoneTable(name, {1, 1, 1}, {kComponents, 3, 3}, {0, 1, 2}); }
ElementInt element_int(const char* name) { return ElementInt(name, {1}, {maxn}, {0}); }
ElementReal element_real(const char* name, int capacity = maxn) {
    return ElementReal(name, {1}, {capacity}, {0});
}
// The components of one element lie next to each other.
ElementCompReal element_comp(const char* name) { return ElementCompReal(name, {1, 1}, {maxn, maxm}, {1, 0}); }

}  // namespace

Deck::Deck()
    : czero(comp_array("czero")),
      tzeromass(comp_array("tzeromass")),
      retardf(comp_array("retardf")),
      yieldf(comp_array("yieldf")),
      decayf(zone_table("decayf")),
      retardms(comp_array("retardms")),
      yieldms(comp_array("yieldms")),
      decayms(zone_table("decayms")) {}

MatrixdModule::MatrixdModule()
    : mdflag(element_int("mdflag")),
      mdtop(element_int("mdtop")),
      mdbot(element_int("mdbot")),
      mdembed(element_int("mdembed")),
      volfrac(element_real("volfrac")),
      difflen(element_real("difflen")),
      porm(element_real("porm")),
      tortm(element_real("tortm")),
      rhob(element_real("rhob")),
      amd1(element_real("amd1")),
      amd2(element_real("amd2")),
      kd(element_comp("kd")),
      retardm(element_comp("retardm")),
      decaym(element_comp("decaym")),
      yieldm(element_comp("yieldm")),
      diff(element_comp("diff")),
      alpha(element_comp("alpha")),
      alambdar(element_comp("alambdar")),
      d(element_comp("d")),
      delt1(element_comp("delt1")),
      delt2(element_comp("delt2")),
      gam1(element_comp("gam1")),
      gam2(element_comp("gam2")),
      beta1(element_comp("beta1")),
      beta2(element_comp("beta2")),
      aa1(element_comp("aa1")),
      aa2(element_comp("aa2")),
      bb1(element_comp("bb1")),
      bb2(element_comp("bb2")),
      cn(element_comp("cn")),
      co(element_comp("co")),
      ainew1(element_comp("ainew1")),
      ainew2(element_comp("ainew2")),
      aiold1(element_comp("aiold1")),
      aiold2(element_comp("aiold2")) {}

GlobalVek::GlobalVek()
    : area(element_real("area", maxnn)), top(element_real("top", maxnn)), bot(element_real("bot", maxnn)) {}

SourceState::SourceState()
    : cs2(comp_array("cs2")),
      cs3(comp_array("cs3")),
      cs4(comp_array("cs4")),
      css2(comp_array("css2")),
      css3(comp_array("css3")),
      css4(comp_array("css4")),
      t1mass(comp_array("t1mass")),
      t2mass(comp_array("t2mass")),
      ctwo(comp_array("ctwo")),
      csource(comp_array("csource")) {}

// Grid storage: the four components of a cell together, then i, j and k slowest, so that
// a grid of a few columns, rows and layers touches only the pages of its own x-lines.
Model::Model()
    : cnew("cnew", {1, 0, 1, 1}, {kComponents, kMaxX, kMaxY, kMaxZ}, {0, 1, 2, 3}),
      cold("cold", {1, 1, 1, 1}, {kComponents, kMaxX, kMaxY, kMaxZ}, {0, 1, 2, 3}),
      wellconc(comp_array("wellconc")) {}

}  // namespace quilmar
