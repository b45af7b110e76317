// Rethrowing an import error with its position. Both functions run only
// once an error was raised, so they may build strings freely; the readers
// pay nothing for them on records that succeed (a try block costs no
// instruction until something throws).
//
// The handler being run is found again by rethrowing the current exception
// into an ordered chain of catch clauses, most specific first, so that one
// function serves every call site instead of each repeating the chain.
#include "io/import_position.h"

#include <new>
#include <string_view>

namespace orvane {
namespace {

std::string where(const std::string& file, std::uint64_t line, const std::string& column) {
  if (line == 0) return file;
  return file + " line " + std::to_string(line) + column;
}

// The message of a failed std::stoll/std::stod: the function's name only
// ("stoll" in libstdc++, "stoll: no conversion" in libc++), which tells a
// user nothing; empty for every other message.
std::string conversion_message(std::string_view what) {
  for (const std::string_view name : {"stoll", "stol", "stoi", "stoull", "stoul"}) {
    if (what == name || what.starts_with(std::string(name) + ":")) return "invalid integer property";
  }
  for (const std::string_view name : {"stod", "stof", "stold"}) {
    if (what == name || what.starts_with(std::string(name) + ":")) return "invalid floating-point property";
  }
  return {};
}

}  // namespace

ImportPositionError::ImportPositionError(const std::string& file, std::uint64_t line, const std::string& column,
                                         const std::string& message)
    : std::runtime_error(where(file, line, column) + ": " + message),
      file_(file),
      line_(line),
      column_(line == 0 ? std::string() : column),
      message_(message) {}

void rethrow_for_field(std::size_t index, const std::string& name) {
  std::string column = ", column " + std::to_string(index + 1);
  if (!name.empty()) column += " (" + name + ")";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::invalid_argument& e) {
    // std::stoll and std::stod report text without a number this way, and
    // a number beyond the type's range as out_of_range.
    const std::string clear = conversion_message(e.what());
    throw ImportFieldError(column, clear.empty() ? e.what() : clear);
  } catch (const std::out_of_range& e) {
    const std::string clear = conversion_message(e.what());
    throw ImportFieldError(column, clear.empty() ? e.what() : clear);
  } catch (const std::exception& e) {
    throw ImportFieldError(column, e.what());
  }
}

void rethrow_at_record(const std::string& file, std::uint64_t line) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const ImportPositionError&) {
    throw;
  } catch (const ImportFieldError& e) {
    throw ImportPositionError(file, line, e.column(), e.what());
  } catch (const std::exception& e) {
    throw ImportPositionError(file, line, std::string(), e.what());
  }
}

}  // namespace orvane
