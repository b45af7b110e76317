// dispatch: preparation, classification and completion of one console
// statement.
//
// Preparation trims the statement, drops one trailing ";", strips the
// PROFILE and EXPLAIN prefixes (profile first, so "profile explain …" sets
// both), substitutes parameters (except in :param and :style, whose values
// are stored as written) and checks the target database. Classification
// then tests the lower-cased copy against the table below, in order; the
// first row that matches runs. Arguments are cut from the original-case
// copy, so quoted values keep their case.
//
// Completion counts the statement, appends it to the query log (bounded for
// successes and failures alike) and runs the auto-entropy step when due. A
// statement that throws is counted as an error and logged with time 0;
// the other completion steps do not run for it.
#include "console/dispatcher.h"

#include <cctype>
#include <chrono>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/console_result.h"
#include "console/cypher_answer.h"
#include "console/documents.h"
#include "console/engine.h"
#include "console/transactions.h"
#include "console/procedures.h"
#include "console/query_bounds.h"
#include "console/statement_rows.h"
#include "console/statement_scanner.h"
#include "graph/json_text.h"
#include "graph/utf8.h"
#include "query/count_planner.h"
#include "query/cypher_error.h"
#include "query/cypher_statement.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;

enum class Match { kEquals, kBegins };

struct Test {
  Match match;
  std::string_view text;
};

// One classification row: the tests (any may match), the result kind and
// the action. The action receives the argument: t after the matched prefix,
// trimmed.
struct Row {
  std::vector<Test> tests;
  const char* kind;
  std::function<void(StatementContext&, const std::string& arg)> run;
};

// The :bolt answer: where Neo4j's drivers connect, or that this server
// serves HTTP alone.
std::string bolt_note(const Engine& engine) {
  if (engine.bolt_address.empty()) {
    return "This server speaks HTTP only (started with --no-bolt, or not serving): statements need no Bolt "
           "handshake and no connect step.";
  }
  return "This server also speaks Bolt at " + engine.bolt_address +
         ": Neo4j's drivers and tools connect there unchanged (bolt:// or neo4j://), with the API key as the "
         "password when one is set. The console itself needs no Bolt connect step.";
}

void document(StatementContext& ctx, std::string text) { ctx.out.data = std::move(text); }

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      {{{Match::kEquals, ":help"}}, "help", [](auto& c, auto&) { document(c, help_document()); }},
      {{{Match::kBegins, "call dbms.procedures"}}, "help", [](auto& c, auto&) { document(c, procedures_document()); }},
      {{{Match::kBegins, ":play"}, {Match::kBegins, ":guide"}}, "guide",
       [](auto& c, auto& arg) { document(c, guides_document(arg)); }},
      {{{Match::kBegins, ":param"}}, "stats", [](auto& c, auto&) { run_param(c); }},
      {{{Match::kBegins, ":style"}}, "stats", [](auto& c, auto&) { run_style(c); }},
      {{{Match::kEquals, ":config"}, {Match::kBegins, "call dbms.listconfig"}, {Match::kBegins, "call dbms.clientconfig"}},
       "stats", [](auto& c, auto&) { document(c, config_document(c.engine)); }},
      {{{Match::kBegins, ":config "}}, "stats", [](auto& c, auto& arg) { run_config(c, arg); }},
      {{{Match::kEquals, ":server status"}, {Match::kBegins, ":server"}}, "stats",
       [](auto& c, auto&) { document(c, server_status_document(c.engine)); }},
      {{{Match::kEquals, ":clear"}}, "clear", [](auto& c, auto&) { document(c, "{\"cleared\":true}"); }},
      {{{Match::kEquals, ":history"}}, "stats", [](auto& c, auto&) { document(c, query_log_document(c.engine)); }},
      {{{Match::kEquals, ":bolt"}, {Match::kEquals, ":auto"}}, "help",
       [](auto& c, auto&) {
         JsonObjectText note;
         note.string("note", bolt_note(c.engine));
         if (!c.engine.bolt_address.empty()) note.string("bolt", c.engine.bolt_address);
         document(c, note.text());
       }},
      {{{Match::kBegins, "create "}}, "stats", [](auto& c, auto&) { run_create(c); }},
      {{{Match::kBegins, "load csv"}, {Match::kBegins, "call orvane.migrate"}}, "stats",
       [](auto& c, auto&) { run_migrate(c); }},
      {{{Match::kBegins, "load from neo4j"}, {Match::kBegins, "call orvane.loadfromneo4j"}}, "stats",
       [](auto& c, auto&) { run_pull(c); }},
      {{{Match::kBegins, "call db.index.fulltext"}, {Match::kBegins, "call orvane.search"}}, "stats",
       [](auto& c, auto&) { document(c, search_document(c.engine, quoted_arg(c.t).value_or("person"), 12)); }},
      {{{Match::kBegins, "call orvane.node"}}, "stats",
       [](auto& c, auto&) { document(c, node_document(c.engine, nth_number(c.t, 0, 0), 16)); }},
      {{{Match::kBegins, "call apoc.meta"}}, "stats", [](auto& c, auto&) { document(c, meta_schema_document(c.engine)); }},
      {{{Match::kBegins, "call orvane.cloud"}}, "stats",
       [](auto& c, auto&) { document(c, connection_catalogue_document(c.engine)); }},
      {{{Match::kBegins, "call orvane.cutover"}, {Match::kEquals, ":cutover"}}, "stats",
       [](auto& c, auto&) { run_cutover(c); }},
      {{{Match::kBegins, "call orvane.restore"}}, "stats", [](auto& c, auto&) { run_restore(c); }},
      {{{Match::kBegins, "use "}}, "stats", [](auto& c, auto&) { run_use(c); }},
      {{{Match::kBegins, "call db.indexes"}, {Match::kBegins, "call db.constraints"}, {Match::kEquals, ":schema"}},
       "schema", [](auto& c, auto&) { document(c, index_document(c.engine)); }},
      {{{Match::kBegins, "call db.schema"}}, "schema", [](auto& c, auto&) { document(c, schema_document(c.engine)); }},
      {{{Match::kBegins, "call dbms.cluster"}, {Match::kBegins, "call orvane.cluster"}}, "cluster",
       [](auto& c, auto&) { document(c, cluster_document(c.engine)); }},
      {{{Match::kBegins, "call orvane.fabric"}}, "cluster", [](auto& c, auto&) { document(c, fabric_document(c.engine)); }},
      {{{Match::kBegins, "call gds."}}, "gds", [](auto& c, auto&) { run_gds(c); }},
      {{{Match::kBegins, "call orvane.explore"}, {Match::kBegins, ":explore"}}, "graph",
       [](auto& c, auto&) { run_explore(c); }},
      {{{Match::kBegins, "call orvane.entropy"}, {Match::kBegins, ":entropy"}}, "entropy",
       [](auto& c, auto&) { run_entropy(c); }},
      {{{Match::kBegins, "call orvane.rag"}, {Match::kBegins, ":rag"}}, "rag", [](auto& c, auto&) { run_rag(c); }},
      {{{Match::kBegins, "call dbms.components"}, {Match::kEquals, ":sysinfo"}}, "stats",
       [](auto& c, auto&) { document(c, stats_document(c.engine)); }},
      {{{Match::kBegins, "call dbms.listqueries"}, {Match::kEquals, ":queries"}}, "stats",
       [](auto& c, auto&) { document(c, query_log_document(c.engine)); }},
      {{{Match::kBegins, "match"}}, "count", [](auto&, auto&) {}},  // the query pipeline
  };
  return table;
}

// The row `l` belongs to and the length of the prefix it matched; null
// when none matches.
const Row* classify(const std::string& l, std::size_t& matched) {
  for (const Row& row : rows()) {
    for (const Test& test : row.tests) {
      const bool hit = test.match == Match::kEquals ? l == test.text : l.starts_with(test.text);
      if (hit) {
        matched = test.text.size();
        return &row;
      }
    }
  }
  return nullptr;
}

// Removes `prefix` (lower case, with its blank) from the front of t when l
// starts with it.
bool strip_prefix(StatementContext& ctx, std::string_view prefix) {
  if (!ctx.l.starts_with(prefix)) return false;
  ctx.t = trim(std::string_view(ctx.t).substr(prefix.size()));
  ctx.l = ascii_lower(ctx.t);
  return true;
}

double elapsed_ns(Clock::time_point start) {
  return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

// Whether `l` (lower case) opens with a Cypher clause keyword.
bool starts_like_cypher(const std::string& l) {
  static const char* const kClauses[] = {"return", "with", "unwind", "optional", "match", "create", "merge", "call",
                                         "foreach", "delete", "detach", "set", "remove", "union"};
  for (const char* clause : kClauses) {
    const std::string_view c(clause);
    if (l.starts_with(c) && (l.size() == c.size() || !(std::isalnum(static_cast<unsigned char>(l[c.size()])) ||
                                                       l[c.size()] == '_'))) {
      return true;
    }
  }
  return false;
}

// Whether `e` is the one-node or by-id CREATE refusing a statement of
// another form, which the query pipeline then takes.
bool refusal_of_the_create_forms(const std::runtime_error& e) {
  const std::string_view m = e.what();
  return m == "CREATE requires one explicitly labelled node" ||
         m == "relationship CREATE requires (internal_id)-[:TYPE]->(internal_id); other forms are unsupported";
}

// Runs the statement up to (not including) completion.
void handle(StatementContext& ctx, const std::string& statement, const ParamMap* params, Clock::time_point& start) {
  require_utf8(statement);
  ctx.t = trim(statement);
  if (!ctx.t.empty() && ctx.t.back() == ';') ctx.t = trim(std::string_view(ctx.t).substr(0, ctx.t.size() - 1));
  ctx.l = ascii_lower(ctx.t);
  const bool profile = strip_prefix(ctx, "profile ");
  const bool explain = strip_prefix(ctx, "explain ");
  start = Clock::now();
  ctx.raw = ctx.t;
  ctx.params = params;
  if (!ctx.l.starts_with(":param") && !ctx.l.starts_with(":style")) {
    try {
      ctx.t = substitute_parameters(ctx.t, ctx.engine, params);
      ctx.l = ascii_lower(ctx.t);
    } catch (const std::runtime_error&) {
      // Cypher binds its parameters itself, typed, and reports a missing
      // or misplaced one as Neo4j does; only the console's own forms need
      // the text substituted.
      std::size_t ignored = 0;
      const Row* row = classify(ctx.l, ignored);
      const bool cypher = row == nullptr || std::string_view(row->kind) == "count" || ctx.l.starts_with("create ");
      if (!cypher) throw;
    }
  }
  ctx.live_target();  // an unknown database fails before anything runs

  ConsoleResult& out = ctx.out;
  if (explain) {
    out.kind = "plan";
    out.data = cypher_plan_document(ctx, nullptr, 0, 0);
    return;
  }
  OperatorProfile pipeline_profile;
  bool pipeline = false;
  const auto run_pipeline = [&] {
    pipeline = true;
    run_cypher(ctx, profile ? &pipeline_profile : nullptr);
  };
  std::size_t matched = 0;
  const Row* row = classify(ctx.l, matched);
  if (row == nullptr) {
    // Cypher beyond the statements classified by their first word (RETURN,
    // WITH, UNWIND, OPTIONAL MATCH, ...) goes to the query pipeline, whose
    // parser reports a syntax error in Neo4j's words; other text is no
    // statement at all.
    if (!starts_like_cypher(ctx.l) && !cypher_parses(ctx.t)) throw std::runtime_error("unrecognized query — try :help");
    run_pipeline();
  } else if (row->kind == std::string_view("count")) {
    run_pipeline();  // MATCH
  } else if (row->kind == std::string_view("stats") && ctx.l.starts_with("create ") &&
             ctx.engine.transaction() != nullptr) {
    // In a transaction every CREATE is Cypher's, written to the
    // transaction's graph like its other statements.
    run_pipeline();
  } else if (row->kind == std::string_view("stats") && ctx.l.starts_with("create ")) {
    refuse_other_writer(ctx.engine, ctx.engine.effective_name(ctx.database), nullptr);
    // CREATE of one labelled node or of a relationship between ids answers
    // as it always has; the pipeline takes every other pattern, and when
    // both refuse, the CREATE form's message stands.
    try {
      out.kind = row->kind;
      row->run(ctx, trim(std::string_view(ctx.t).substr(matched)));
    } catch (const std::runtime_error& refused) {
      if (dynamic_cast<const CypherError*>(&refused) != nullptr || !refusal_of_the_create_forms(refused)) throw;
      try {
        run_pipeline();
      } catch (const CypherError& e) {
        if (e.error_class() == "SyntaxError" && e.phase() == ErrorPhase::kCompileTime && !cypher_parses(ctx.t)) throw refused;
        throw;
      }
    }
  } else {
    out.kind = row->kind;
    row->run(ctx, trim(std::string_view(ctx.t).substr(matched)));
  }
  if (profile && pipeline) {
    const double ns = elapsed_ns(start);
    out.kind = "plan";
    out.data = cypher_plan_document(ctx, &pipeline_profile, out.count, ns);
  } else if (profile) {
    const double ns = elapsed_ns(start);
    out.kind = "plan";
    out.data = plan_document(ctx.t, true, out.count, ns, CountMethod::Enumerate);
  }
}

void complete(ConsoleResult& out, Engine& engine, const std::string& statement, Clock::time_point start) {
  out.ns = elapsed_ns(start);
  if (!out.error.empty()) out.ok = false;
  engine.count_statement(out.ok, out.ns);
  engine.log_statement(statement, out.ns, out.ok);
  if (engine.optimisation_due() && engine.has_database(engine.current_name())) entropy_optimize(engine);
}

}  // namespace

std::string plan_document(const std::string& query, bool ran, std::uint64_t rows, double ns, CountMethod method) {
  using json = nlohmann::json;
  json stages;
  if (method == CountMethod::Enumerate) {
    const json scan = {{"operator", "NodeScan"}};
    const json expand = {{"children", json::array({scan})}, {"operator", "RelationshipUniqueExpand"}};
    stages = {{"children", json::array({expand})}, {"operator", "ProjectionOrCount"}};
  } else {
    stages = {{"operator", count_method_name(method)}};
  }
  const json plan = {{"children", json::array({stages})},
                     {"ns", ns == 0 ? json(0) : json(ns)},  // EXPLAIN writes a plain 0
                     {"operator", "ProduceResults"},
                     {"query", query},
                     {"ran", ran},
                     {"rows", rows},
                     {"runtime", method == CountMethod::Enumerate ? "CPU path enumeration over typed CSR"
                                                                  : "CPU counting over typed CSR"}};
  return plan.dump();
}

void dispatch(ConsoleResult& out, Engine& engine, const std::string& statement, const std::string& database,
              const ParamMap* params, std::ostream* rows_out) {
  out = ConsoleResult();
  out.query = statement;
  StatementContext ctx{engine, out, "", "", database};
  ctx.rows_out = rows_out;
  Clock::time_point start = Clock::now();
  // Every lookup of "the current database" inside the statement means the
  // one it names; the selection itself stays.
  struct Scope {
    Engine& engine;
    ~Scope() { engine.set_statement_database(""); }
  } scope{engine};
  try {
    engine.set_statement_database(database);
    handle(ctx, statement, params, start);
  } catch (const std::exception& e) {
    out.ok = false;
    out.error = e.what();
    if (const auto* cypher = dynamic_cast<const CypherError*>(&e)) {
      out.error_class = cypher->error_class();
      out.error_phase = phase_name(cypher->phase());
      out.error_detail = cypher->detail();
    }
    out.kind = "error";
    out.data.clear();
    out.nodes.clear();
    out.rels.clear();
    engine.count_statement(false, 0);
    engine.log_statement(statement, 0, false);
    return;
  }
  // Outside the try: the statement has succeeded, and what the scheduled
  // optimisation could throw (memory exhaustion) is not its failure. The
  // schedule optimises the selected database, not the statement's.
  engine.set_statement_database("");
  complete(out, engine, statement, start);
}

namespace {

// statement_writes(text), remembered for the texts seen last: a request's
// statements repeat (parameters carry what changes), and parsing one again
// on every request would cost a read a tenth of its time.
bool writes_remembered(const std::string& text) {
  static constexpr std::size_t kTexts = 4096, kTextBytes = 4096;
  static std::mutex mutex;
  static std::unordered_map<std::string, bool> known;
  if (text.size() > kTextBytes) return statement_writes(text);
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (const auto it = known.find(text); it != known.end()) return it->second;
  }
  const bool writes = statement_writes(text);
  const std::lock_guard<std::mutex> lock(mutex);
  if (known.size() >= kTexts) known.clear();
  known.emplace(text, writes);
  return writes;
}

}  // namespace

InputAccess input_access(const Engine& engine, const std::string& input, const std::string& database) {
  // A due optimisation renumbers the graph after the statement.
  if (engine.auto_entropy_every() > 0 || engine.transaction() != nullptr) return InputAccess::kExclusive;
  const std::string& name = engine.effective_name(database);
  const Database* db = engine.peek_database(name);
  if (db == nullptr) return InputAccess::kExclusive;
  std::vector<std::string> statements = split_statements(input);
  if (statements.size() <= 1) statements = {input};
  bool writes = false;
  // A transaction that writes the database holds its writer's copy: a
  // write beside it is refused, exclusively.
  const bool held = engine.transactions().writer(name) != nullptr;
  for (const std::string& statement : statements) {
    std::string t = trim(statement);
    if (!t.empty() && t.back() == ';') t = trim(std::string_view(t).substr(0, t.size() - 1));
    std::string l = ascii_lower(t);
    for (const std::string_view prefix : {std::string_view("profile "), std::string_view("explain ")}) {
      if (l.starts_with(prefix)) {
        t = trim(std::string_view(t).substr(prefix.size()));
        l = ascii_lower(t);
      }
    }
    std::size_t matched = 0;
    const auto* row = classify(l, matched);
    const std::string_view kind = row != nullptr ? std::string_view(row->kind) : std::string_view("count");
    if (kind == "stats" && l.starts_with("create ")) {
      writes = true;  // a CREATE form writes its database alone
    } else if (kind != "count") {
      return InputAccess::kExclusive;
    } else if (writes_remembered(t)) {
      writes = true;
    }
  }
  if (writes) return held ? InputAccess::kExclusive : InputAccess::kWrite;
  // A graph whose arrays are not valid is compiled by its first reader.
  return db->graph.csr_valid ? InputAccess::kRead : InputAccess::kExclusive;
}

}  // namespace orvane
