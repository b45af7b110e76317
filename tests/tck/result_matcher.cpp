// Rows become their canonical texts (one string per row, cells joined in
// header order), so a multiset comparison is a sort and a merge, and a
// report can name exactly the rows missing and the rows not expected.
#include "tck/result_matcher.h"

#include <algorithm>
#include <iterator>

#include "tck/value_literal.h"

namespace orvane::tck {
namespace {

std::string join_row(const std::vector<std::string>& cells) {
  std::string out = "|";
  for (const std::string& c : cells) out += " " + c + " |";
  return out;
}

std::string row_key(const std::vector<TckValue>& row, TextMode mode) {
  std::vector<std::string> cells;
  for (const TckValue& v : row) cells.push_back(value_text(v, mode));
  return join_row(cells);
}

std::string list_text(const std::vector<std::string>& names) {
  std::string out = "[";
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
  return out + "]";
}

std::string indented(const std::vector<std::string>& lines, int indent) {
  std::string out;
  for (const std::string& l : lines) out += std::string(indent, ' ') + l + "\n";
  return out;
}

}  // namespace

std::string result_table_text(const QueryResult& result, int indent) {
  std::vector<std::string> lines{join_row(result.columns)};
  for (const auto& row : result.rows) lines.push_back(row_key(row, TextMode::kDisplay));
  return indented(lines, indent);
}

std::string match_rows(const GherkinTable& expected, const QueryResult& actual, const RowExpectation& how) {
  if (expected.empty()) return "expected table has no header";
  const std::vector<std::string>& header = expected.front();

  std::vector<std::string> want_columns = header;
  std::vector<std::string> got_columns = actual.columns;
  std::sort(want_columns.begin(), want_columns.end());
  std::sort(got_columns.begin(), got_columns.end());
  if (want_columns != got_columns) {
    return "columns differ: expected " + list_text(header) + ", got " + list_text(actual.columns) + "\n" +
           "got:\n" + result_table_text(actual, 2);
  }
  // Where each expected column sits in the engine's rows.
  std::vector<std::size_t> source(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) {
    source[c] = static_cast<std::size_t>(std::find(actual.columns.begin(), actual.columns.end(), header[c]) -
                                         actual.columns.begin());
  }

  const TextMode mode = how.unordered_lists ? TextMode::kCanonicalUnorderedLists : TextMode::kCanonical;
  std::vector<std::string> want;
  std::vector<std::string> want_display;
  for (std::size_t r = 1; r < expected.size(); ++r) {
    std::vector<TckValue> row;
    for (const std::string& cell : expected[r]) {
      try {
        row.push_back(parse_value_literal(cell));
      } catch (const LiteralError& e) {
        return std::string("expected table: ") + e.what();
      }
    }
    want.push_back(row_key(row, mode));
    want_display.push_back(join_row(expected[r]));
  }
  std::vector<std::string> got;
  std::vector<std::string> got_display;
  for (const std::vector<TckValue>& row : actual.rows) {
    if (row.size() != actual.columns.size()) return "engine row has " + std::to_string(row.size()) + " values";
    std::vector<TckValue> ordered;
    for (const std::size_t s : source) ordered.push_back(row[s]);
    got.push_back(row_key(ordered, mode));
    got_display.push_back(row_key(ordered, TextMode::kDisplay));
  }

  const std::string tables = "expected:\n" + indented({join_row(header)}, 2) + indented(want_display, 2) +
                             "got:\n" + indented({join_row(header)}, 2) + indented(got_display, 2);
  if (how.order == RowOrder::kInOrder) {
    if (want == got) return "";
    for (std::size_t r = 0; r < std::min(want.size(), got.size()); ++r) {
      if (want[r] != got[r]) return "row " + std::to_string(r + 1) + " differs (rows in order)\n" + tables;
    }
    return "expected " + std::to_string(want.size()) + " rows, got " + std::to_string(got.size()) + "\n" + tables;
  }
  std::vector<std::string> want_sorted = want;
  std::vector<std::string> got_sorted = got;
  std::sort(want_sorted.begin(), want_sorted.end());
  std::sort(got_sorted.begin(), got_sorted.end());
  if (want_sorted == got_sorted) return "";
  std::vector<std::string> missing;
  std::vector<std::string> extra;
  std::set_difference(want_sorted.begin(), want_sorted.end(), got_sorted.begin(), got_sorted.end(),
                      std::back_inserter(missing));
  std::set_difference(got_sorted.begin(), got_sorted.end(), want_sorted.begin(), want_sorted.end(),
                      std::back_inserter(extra));
  return "rows differ (any order): " + std::to_string(missing.size()) + " expected not found, " +
         std::to_string(extra.size()) + " not expected\n" + tables + "missing (canonical):\n" +
         indented(missing, 2) + "unexpected (canonical):\n" + indented(extra, 2);
}

}  // namespace orvane::tck
