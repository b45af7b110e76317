// Side effects from two snapshots: each counter, the set semantics of
// labels and properties, and the expectation table.
#include <gtest/gtest.h>

#include "tck/side_effects.h"
#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

// A snapshot from a compact text: "n1:A:B{k=1} r2:T{w='x'}" — nodes and
// relationships by identity, labels after ':', properties as literals.
GraphSnapshot snap(const std::vector<std::string>& entities) {
  GraphSnapshot g;
  for (const std::string& e : entities) {
    const std::size_t brace = e.find('{');
    const std::string head = e.substr(0, brace);
    std::map<std::string, TckValue> props;
    if (brace != std::string::npos) props = parse_value_literal(e.substr(brace)).entries;
    std::size_t colon = head.find(':');
    const std::int64_t id = std::stoll(head.substr(1, colon - 1));
    std::vector<std::string> names;
    while (colon != std::string::npos) {
      const std::size_t next = head.find(':', colon + 1);
      names.push_back(head.substr(colon + 1, next - colon - 1));
      colon = next;
    }
    if (head[0] == 'n') {
      g.nodes[id] = {std::set<std::string>(names.begin(), names.end()), props};
    } else {
      g.relationships[id] = {names.at(0), props};
    }
  }
  return g;
}

TEST(SideEffects, DiffCountsEachKind) {
  struct Case {
    const char* what;
    std::vector<std::string> before;
    std::vector<std::string> after;
    const char* effects;
  };
  const std::vector<Case> cases = {
      {"nothing", {"n0:A"}, {"n0:A"}, "none"},
      {"node with labels", {}, {"n0:A:B"}, "+nodes 1, +labels 2"},
      {"labels count once", {}, {"n0:A", "n1:A", "n2:A:B"}, "+nodes 3, +labels 2"},
      {"label already in use", {"n0:A", "n1"}, {"n0:A", "n1:A"}, "none"},
      {"label added to a node", {"n0"}, {"n0:Foo"}, "+labels 1"},
      {"label gone with its last node", {"n0:X", "n1:X"}, {"n1:X"}, "-nodes 1"},
      {"delete with label and property", {"n0:X{a:1}"}, {}, "-nodes 1, -labels 1, -properties 1"},
      {"relationship", {"n0", "n1"}, {"n0", "n1", "r0:T{w:2}"}, "+relationships 1, +properties 1"},
      {"relationship removed", {"r0:T{w:2}", "r1:T"}, {"r1:T"}, "-relationships 1, -properties 1"},
      {"property overwritten", {"n0{name:'A'}"}, {"n0{name:'B'}"}, "+properties 1, -properties 1"},
      {"property written again", {"n0{name:'A'}"}, {"n0{name:'A'}"}, "none"},
      {"int to float", {"n0{x:1}"}, {"n0{x:1.0}"}, "+properties 1, -properties 1"},
      {"property removed", {"n0{a:1, b:2}"}, {"n0{a:1}"}, "-properties 1"},
      {"null property is none", {"n0"}, {"n0{a:null}"}, "none"},
      {"list property", {}, {"n0{l:[1, 2]}"}, "+nodes 1, +properties 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.effects, side_effects_text(diff_snapshots(snap(c.before), snap(c.after))));
  }
}

TEST(SideEffects, ReadsTheExpectationTable) {
  SideEffects want;
  want.nodes_added = 2;
  want.properties_removed = 1;
  EXPECT_EQ(want, parse_side_effects({{"+nodes", "2"}, {"-properties", "1"}}));
  EXPECT_EQ(SideEffects{}, parse_side_effects({}));
  for (const GherkinTable& bad : std::vector<GherkinTable>{
           {{"+nodes"}}, {{"+vertices", "1"}}, {{"+nodes", "x"}}, {{"+nodes", "-1"}}, {{"+nodes", "1"}, {"+nodes", "1"}}}) {
    EXPECT_THROW(parse_side_effects(bad), std::runtime_error);
  }
}

}  // namespace
}  // namespace orvane::tck
