// CREATE: one labelled node, or one relationship between two existing nodes
// named by their ids (the ids answers show, graph/entity_ids.h), added to the target database, which is recompiled
// and, when the engine has a snapshot path, saved there.
//
// A statement changes the graph only if it succeeds as a whole. Every check
// runs before the first change; after it, a mark taken before the change
// lets a failed compile or save take the database back (Database::rollback,
// which costs one recompile and never a copy of the graph). The save is
// atomic, so the snapshot on disk is either the old graph or the new one.
//
// The statement is a relationship creation when, outside quotes and braces,
// it holds an arrow: "--", "<-", "]-" or "]>". Only one form of it is
// supported; anything else is refused with the message that says so.
#include <string_view>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "base/decimal.h"
#include "console/engine.h"
#include "console/statement_rows.h"
#include "graph/json_text.h"
#include "query/ql_error.h"
#include "query/query.h"

namespace orvane {
namespace {

constexpr const char* kNodeForm = "CREATE requires one explicitly labelled node";
constexpr const char* kRelationshipForm =
    "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported";

bool has_arrow(const std::string& t) {
  char quote = 0;
  int braces = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"' || c == '`') {
      quote = c;
    } else if (c == '{') {
      ++braces;
    } else if (c == '}') {
      if (braces > 0) --braces;
    } else if (braces == 0 && i + 1 < t.size()) {
      const char next = t[i + 1];
      if (((c == '-' || c == '<') && next == '-') || (c == ']' && (next == '-' || next == '>'))) return true;
    }
  }
  return false;
}

// The first string property among name, hostname, title and username.
const nlohmann::json* display_name(const nlohmann::json& props) {
  for (const char* key : {"name", "hostname", "title", "username"}) {
    const auto it = props.find(key);
    if (it != props.end() && it->is_string()) return &*it;
  }
  return nullptr;
}

// Compiles and saves `db` after a change made since `mark`; on any failure
// takes the database back to the mark and rethrows.
void commit(const StatementContext& ctx, Database& db, const DatabaseMark& mark) {
  try {
    db.compile();
    ctx.engine.save(ctx.database);
  } catch (...) {
    db.rollback(mark);
    throw;
  }
}

void create_node(StatementContext& ctx) {
  std::string pattern = trim(std::string_view(ctx.t).substr(6));
  if (!pattern.empty() && pattern.back() == ';') pattern = trim(std::string_view(pattern).substr(0, pattern.size() - 1));
  QlQuery parsed;
  try {
    parsed = parse_query("MATCH " + pattern + " RETURN count(*)");
  } catch (const QlError&) {
    throw std::runtime_error(kNodeForm);
  }
  if (parsed.nodes.size() != 1 || parsed.nodes[0].label.empty()) throw std::runtime_error(kNodeForm);
  const std::string& label = parsed.nodes[0].label;
  nlohmann::json props = nlohmann::json::object();
  for (const auto& [key, value] : parsed.nodes[0].properties) props[key] = value;

  Database& db = ctx.target();
  const nlohmann::json* shown = display_name(props);
  std::string name = shown != nullptr ? shown->get<std::string>() : label + "-" + std::to_string(db.graph.node_count);
  std::string name_property;
  if (const auto it = props.find("name"); it != props.end()) {
    name_property = it->is_string() ? it->get<std::string>() : it->dump();
  }
  const std::string properties_text = props.dump();

  const DatabaseMark mark = db.mark();
  const std::uint32_t id = db.add_labeled_node(label, name, std::move(props), 0);
  commit(ctx, db, mark);
  ctx.engine.record_change("create_node", label + ":" + pattern);
  ctx.out.data = JsonObjectText()
                     .count("id", db.node_id(id))
                     .string("label", label)
                     .string("name", name_property)
                     .raw("properties", properties_text)
                     .text();
}

std::uint64_t endpoint_id(const std::string& digits) { return parse_decimal_saturating(digits); }

// The one relationship form, matched by hand rather than with std::regex,
// whose backtracking recursion grows with the text and a statement may be
// 64 KiB long:
//   \s* CREATE \s* ( \s* DIGITS \s* ) \s* - \s* [:NAME] \s* -> \s* ( \s* DIGITS \s* ) \s* ;? \s*
// with CREATE in any letter case and NAME = [A-Za-z_][A-Za-z0-9_]*.
class RelationshipForm {
 public:
  explicit RelationshipForm(std::string_view text) : s_(text) {}

  bool match(std::string& src, std::string& type, std::string& dst) {
    blanks();
    if (!keyword("create")) return false;
    blanks();
    if (!id(src)) return false;
    blanks();
    if (!literal("-")) return false;
    blanks();
    if (!literal("[:") || !name(type) || !literal("]")) return false;
    blanks();
    if (!literal("->")) return false;
    blanks();
    if (!id(dst)) return false;
    blanks();
    literal(";");
    blanks();
    return i_ == s_.size();
  }

 private:
  void blanks() {
    while (i_ < s_.size() && std::string_view(" \t\n\r\v\f").find(s_[i_]) != std::string_view::npos) ++i_;
  }
  bool literal(std::string_view text) {
    if (s_.substr(i_, text.size()) != text) return false;
    i_ += text.size();
    return true;
  }
  bool keyword(std::string_view lower) {
    if (ascii_lower(s_.substr(i_, lower.size())) != lower) return false;
    i_ += lower.size();
    return true;
  }
  // "(" DIGITS ")" with blanks inside the parentheses.
  bool id(std::string& digits) {
    if (!literal("(")) return false;
    blanks();
    const std::size_t first = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    if (i_ == first) return false;
    digits = std::string(s_.substr(first, i_ - first));
    blanks();
    return literal(")");
  }
  bool name(std::string& out) {
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (i_ >= s_.size() || !letter(s_[i_])) return false;
    const std::size_t first = i_;
    while (i_ < s_.size() && (letter(s_[i_]) || (s_[i_] >= '0' && s_[i_] <= '9'))) ++i_;
    out = std::string(s_.substr(first, i_ - first));
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

void create_relationship(StatementContext& ctx) {
  std::string src_text, type, dst_text;
  if (!RelationshipForm(ctx.t).match(src_text, type, dst_text)) throw std::runtime_error(kRelationshipForm);
  const std::uint64_t src = endpoint_id(src_text), dst = endpoint_id(dst_text);
  Database& db = ctx.target();
  const std::uint32_t s = db.node_of_id(src), d = db.node_of_id(dst);
  if (s == kNoNode || d == kNoNode) throw std::runtime_error("relationship endpoint does not exist");

  // Every CREATE makes a new relationship, parallel to any that exist.
  const DatabaseMark mark = db.mark();
  std::uint32_t id = 0;
  try {
    id = db.graph.add_edge(s, d, db.add_rel_type(type));
  } catch (...) {
    db.rollback(mark);
    throw;
  }
  commit(ctx, db, mark);
  const std::string detail = std::to_string(src) + "-[" + type + "]->" + std::to_string(dst);
  ctx.engine.record_change("create_rel", detail);
  ctx.out.data =
      JsonObjectText().count("id", db.relationship_id(id)).count("src", src).count("dst", dst).string("type", type).text();
}

}  // namespace

void run_create(StatementContext& ctx) {
  if (has_arrow(ctx.t)) {
    create_relationship(ctx);
  } else {
    create_node(ctx);
  }
}

}  // namespace orvane
