// List functions: size, head, last, tail, range, reverse, coalesce,
// isEmpty. size and reverse take strings too; coalesce takes anything.
#include "query/exec/evaluate.h"
#include "query/cypher_error.h"
#include "query/functions/scalar_functions.h"

namespace orvane {
namespace {

using Kind = CypherValue::Kind;
using Args = std::span<const CypherValue>;

// Characters of a UTF-8 text (bytes that do not continue a character).
std::int64_t characters(const std::string& s) {
  std::int64_t n = 0;
  for (const unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

CypherValue size(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kList) return static_cast<std::int64_t>(a[0].as_list().size());
  if (a[0].kind() == Kind::kString) return characters(a[0].as_string());
  type_mismatch("List or String", a[0]);
}

const CypherList* list_arg(const CypherValue& v) {
  if (v.is_null()) return nullptr;
  if (v.kind() != Kind::kList) type_mismatch("List", v);
  return &v.as_list();
}

CypherValue head(Args a, ExecContext&) {
  const CypherList* l = list_arg(a[0]);
  return l == nullptr || l->empty() ? CypherValue() : l->front();
}

CypherValue last(Args a, ExecContext&) {
  const CypherList* l = list_arg(a[0]);
  return l == nullptr || l->empty() ? CypherValue() : l->back();
}

CypherValue tail(Args a, ExecContext&) {
  const CypherList* l = list_arg(a[0]);
  if (l == nullptr) return {};
  if (l->empty()) return CypherList{};
  return CypherList(l->begin() + 1, l->end());
}

CypherValue range(Args a, ExecContext& c) {
  for (const CypherValue& v : a) {
    // Neo4j classes a bound or step of another type as an argument fault.
    if (v.kind() != Kind::kInteger) {
      throw CypherError("ArgumentError", "InvalidArgumentType", ErrorPhase::kRuntime,
                        std::string("Type mismatch: expected Integer but was ") + type_name(v));
    }
  }
  const std::int64_t from = a[0].as_int(), to = a[1].as_int();
  const std::int64_t step = a.size() > 2 ? a[2].as_int() : 1;
  if (step == 0) {
    throw CypherError("ArgumentError", "NumberOutOfRange", ErrorPhase::kRuntime, "step argument to range() can't be 0");
  }
  CypherList out;
  for (std::int64_t i = from; step > 0 ? i <= to : i >= to; i += step) {
    c.step();
    out.emplace_back(i);
    if ((step > 0 && i > INT64_MAX - step) || (step < 0 && i < INT64_MIN - step)) break;
  }
  return out;
}

CypherValue reverse(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kList) return CypherList(a[0].as_list().rbegin(), a[0].as_list().rend());
  if (a[0].kind() != Kind::kString) type_mismatch("List or String", a[0]);
  // Reverse by characters, keeping each UTF-8 sequence in order.
  const std::string& s = a[0].as_string();
  std::string out;
  out.reserve(s.size());
  std::size_t end = s.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && (static_cast<unsigned char>(s[begin]) & 0xC0) == 0x80) --begin;
    out.append(s, begin, end - begin);
    end = begin;
  }
  return out;
}

CypherValue coalesce(Args a, ExecContext&) {
  for (const CypherValue& v : a) {
    if (!v.is_null()) return v;
  }
  return {};
}

CypherValue is_empty(Args a, ExecContext&) {
  if (a[0].is_null()) return {};
  if (a[0].kind() == Kind::kList) return a[0].as_list().empty();
  if (a[0].kind() == Kind::kString) return a[0].as_string().empty();
  if (a[0].kind() == Kind::kMap) return a[0].as_map().empty();
  type_mismatch("List, String or Map", a[0]);
}

const ScalarFunction kFunctions[] = {
    {"size", 1, 1, size},       {"head", 1, 1, head},         {"last", 1, 1, last},
    {"tail", 1, 1, tail},       {"range", 2, 3, range},       {"reverse", 1, 1, reverse},
    {"coalesce", 1, -1, coalesce}, {"isEmpty", 1, 1, is_empty},
};

}  // namespace

std::span<const ScalarFunction> list_functions() { return kFunctions; }

}  // namespace orvane
