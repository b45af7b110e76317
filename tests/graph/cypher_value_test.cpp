// CypherValue's three relations — equality, equivalence and ORDER BY's
// order — and the conversions to and from property values, as tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graph/cypher_value.h"

namespace orvane {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string tri(std::optional<bool> v) { return !v ? "null" : *v ? "true" : "false"; }

TEST(CypherValue, EqualityIsThreeValuedAndEquivalenceIsNot) {
  struct Case {
    const char* what;
    CypherValue a, b;
    const char* equal;  // cypher_equals
    bool same;          // equivalent
  };
  const std::vector<Case> cases = {
      {"1 = 1.0", 1, 1.0, "true", true},
      {"2^53+1 vs its float", std::int64_t{9007199254740993}, 9007199254740992.0, "false", false},
      {"null = null", CypherValue(), CypherValue(), "null", true},
      {"1 = null", 1, CypherValue(), "null", false},
      {"NaN = NaN", kNaN, kNaN, "false", true},
      {"'a' = 'a'", "a", "a", "true", true},
      {"'1' = 1", "1", 1, "false", false},
      {"[1, null] = [1, null]", CypherList{1, CypherValue()}, CypherList{1, CypherValue()}, "null", true},
      {"[1, null] = [2, null]", CypherList{1, CypherValue()}, CypherList{2, CypherValue()}, "false", false},
      {"[1] = [1, 2]", CypherList{1}, CypherList{1, 2}, "false", false},
      {"maps in any order", CypherMap{{"a", 1}, {"b", 2}}, CypherMap{{"b", 2.0}, {"a", 1}}, "true", true},
      {"map with null member", CypherMap{{"a", CypherValue()}}, CypherMap{{"a", CypherValue()}}, "null", true},
      {"nodes by identity", NodeRef{3}, NodeRef{3}, "true", true},
      {"node vs relationship", NodeRef{3}, RelRef{3}, "false", false},
      {"dates", Date{5}, Date{5}, "true", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.equal, tri(cypher_equals(c.a, c.b)));
    EXPECT_EQ(c.same, equivalent(c.a, c.b));
    if (c.same) {
      EXPECT_EQ(equivalence_hash(c.a), equivalence_hash(c.b));
    }
  }
}

TEST(CypherValue, OrderByPutsEveryKindInNeo4jsOrder) {
  // Ascending, each strictly before the next.
  const std::vector<CypherValue> ascending = {
      CypherMap{{"a", 1}},  NodeRef{1},         RelRef{0},        CypherList{1, 2}, PathValue{{0}, {}},
      Point{},              DateTime{0, 0, 0, ""}, LocalDateTime{0, 0}, Date{0},     Time{0, 0},
      LocalTime{0},         Duration{},         "",               "a",              false,
      true,                 -std::numeric_limits<double>::infinity(), std::int64_t{-5}, 1.5, 2,
      kNaN,                 CypherValue(),
  };
  for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_LT(order_compare(ascending[i], ascending[i + 1]), 0);
    EXPECT_GT(order_compare(ascending[i + 1], ascending[i]), 0);
    EXPECT_EQ(0, order_compare(ascending[i], ascending[i]));
  }
}

TEST(CypherValue, ComparisonHoldsWithinAKindOnly) {
  struct Case {
    const char* what;
    CypherValue a, b;
    const char* less;  // a < b
  };
  const std::vector<Case> cases = {
      {"1 < 1.5", 1, 1.5, "true"},         {"'a' < 'b'", "a", "b", "true"},
      {"1 < 'a'", 1, "a", "null"},         {"NaN < 1", kNaN, 1, "false"},
      {"[1, 2] < [1, 3]", CypherList{1, 2}, CypherList{1, 3}, "true"},
      {"[1, 'a'] < [1, 2]", CypherList{1, "a"}, CypherList{1, 2}, "null"},
      {"false < true", false, true, "true"},
      {"durations", Duration{1, 0, 0, 0}, Duration{2, 0, 0, 0}, "null"},
      {"dates", Date{1}, Date{2}, "true"},
      {"null < 1", CypherValue(), 1, "null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = cypher_compare(c.a, c.b);
    EXPECT_EQ(c.less, !r ? "null" : *r < 0 ? "true" : "false");
  }
}

TEST(CypherValue, PropertyValuesConvertBothWays) {
  const CypherValue list = from_property(Value(ValueList{Value(1), Value(2)}));
  EXPECT_TRUE(list.kind() == CypherValue::Kind::kList && equivalent(CypherList{1, 2}, list));
  EXPECT_EQ(Value(ValueList{Value(1.0), Value(2.5)}), to_property(CypherList{1, 2.5}));  // ints join floats
  EXPECT_EQ(Value("x"), to_property("x"));
  for (const CypherValue& v : {CypherValue(CypherMap{{"a", 1}}), CypherValue(NodeRef{0}),
                               CypherValue(CypherList{1, "a"}), CypherValue(CypherList{CypherValue()}),
                               CypherValue(CypherList{CypherList{1}})}) {
    EXPECT_FALSE(to_property(v).has_value()) << type_name(v);
  }
}

}  // namespace
}  // namespace orvane
