// Fuzz target: read_csv_record over arbitrary bytes, treating the first
// record as a header row and typing every later field by its column's type
// (cycled through a fixed list of types when a column names none we know).
// A rejection that is not one of the reader's or typer's own messages (or
// the JSON library's own exceptions for json columns and "[" arrays) is a
// finding, as are crashes, hangs and sanitizer reports.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "io/csv_reader.h"

namespace {

const char* const kTypes[] = {"string", "ID(Person)", "json",    "boolean", "int",      "long",   "float",
                              "double", "string[]",   "int[]",   "bool[]",  "float[]",  "date",   "date[]",
                              "short",  "str[]",      "double[]", "byte[]", "integer[]", "[]"};

bool known_message(std::string_view m) {
  static const std::string_view exact[] = {
      "CSV record exceeds 64 MiB",  "CSV record has too many fields", "unterminated quoted CSV field",
      "invalid characters around a quoted CSV field", "invalid boolean property", "invalid integer property",
      "invalid floating-point property", "array property is invalid",
      "array component does not match CSV header type", "stoll", "stod"};
  for (std::string_view e : exact) {
    if (m == e) return true;
  }
  return m.starts_with("unsupported CSV property type: ") || m.starts_with("unsupported CSV array type: ");
}

void type_field(const std::string& text, const std::string& type) {
  try {
    const nlohmann::json v = orvane::typed_csv_value(text, type);
    (void)v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (const nlohmann::json::exception&) {  // the JSON library's own errors: parse, number overflow
  } catch (const std::exception& e) {
    if (!known_message(e.what())) {
      std::fprintf(stderr, "unexpected rejection of %s as %s: %s\n", text.c_str(), type.c_str(), e.what());
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  orvane::CsvRecord record;
  std::vector<std::string> types;
  try {
    bool header = true;
    while (orvane::read_csv_record(in, record)) {
      if (record.fields.size() != record.quoted.size()) std::abort();
      if (header) {
        for (std::size_t i = 0; i < record.fields.size(); ++i) {
          std::string type = orvane::header_type(record.fields[i]);
          if (orvane::header_name(record.fields[i]).size() > record.fields[i].size()) std::abort();
          types.push_back(type == "string" ? kTypes[i % std::size(kTypes)] : type);
        }
        header = false;
        continue;
      }
      for (std::size_t i = 0; i < record.fields.size(); ++i) {
        type_field(record.fields[i], i < types.size() ? types[i] : kTypes[i % std::size(kTypes)]);
      }
    }
  } catch (const std::runtime_error& e) {
    if (!known_message(e.what())) std::abort();
  }
  return 0;
}
