// The query executor: a depth-first path enumerator over the typed CSR of a
// compiled Database. It scans start nodes by identity, walks the pattern one
// relationship position at a time, never uses one relationship twice within
// a path, and counts complete paths or turns them into result rows.
//
// Every query is bounded: 10,000,000 steps (start nodes plus walk calls),
// 5 seconds on a monotonic clock (read every 1024 steps) and 10000 rows.
// The executor only reads the Database and takes no lock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace orvane {

class Database;
struct QlQuery;

inline constexpr std::uint64_t kQueryWorkLimit = 10000000;

// Counts the matches of a count query (paths, or distinct end nodes with
// count(DISTINCT x)). A label or type the schema does not know gives 0.
// Shapes a counting method recognises are counted without listing paths,
// bounded by the graph's size and the 5-second clock instead of the step
// budget; every other query is enumerated.
// Throws QlError "row query requires execute_rows", "graph is not compiled",
// "query work limit exceeded; narrow the pattern or add LIMIT" or "count
// overflow".
std::uint64_t execute_query(const Database& db, const QlQuery& query);

// The count of execute_query computed by path enumeration alone, never by
// a counting method (see count_planner.h): the reference the methods are
// checked against. Same errors and budget as execute_query.
std::uint64_t enumerate_count(const Database& db, const QlQuery& query);

// {"columns": [...], "rows": [[...], ...]}: [[n]] for a count query; for a
// row query one row per match in the order paths are found (DISTINCT keeps
// first appearances). A whole node renders as {"id","label","properties"}.
// LIMIT 0 answers without reading the graph (also when uncompiled). Throws
// the errors of execute_query and "result exceeds 10000 rows; add an
// explicit LIMIT".
nlohmann::json execute_rows(const Database& db, const QlQuery& query);

// parse_query followed by execute_query.
std::uint64_t count_query_text(const Database& db, std::string_view text);

// Index of the first node position whose variable is `name`; throws QlError
// "unknown variable" when there is none.
std::size_t variable_index(const QlQuery& query, const std::string& name);

}  // namespace orvane
