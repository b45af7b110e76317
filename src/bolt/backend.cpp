// Rows written as records (backend.h).
#include "bolt/backend.h"

namespace orvane::bolt {

std::string record_message(const std::vector<CypherValue>& row, const Database* db, const ValueFormat& format) {
  std::string record;
  PackWriter w(record);
  w.begin_struct(1, 0x71);
  w.begin_list(row.size());
  for (const CypherValue& v : row) write_value(w, v, db, format);
  return record;
}

bool RowResult::fetch_records(std::size_t n, const ValueFormat& format, std::vector<std::string>& records) {
  std::vector<std::vector<CypherValue>> rows;
  bool more = false;
  try {
    more = fetch(n, rows);
  } catch (...) {
    // The rows made before the failure go out ahead of it.
    for (const auto& row : rows) records.push_back(record_message(row, database(), format));
    throw;
  }
  for (const auto& row : rows) records.push_back(record_message(row, database(), format));
  return more;
}

}  // namespace orvane::bolt
