// The depth bound is enforced while parsing, through the JSON library's SAX
// interface: a small handler builds the value the way the library's own
// parser does and refuses the array or object that would open level
// kMaxJsonDepth + 1, so the deep text is refused before its value is built.
//
// The handler rather than the library's parser callback: with a callback the
// library rescans the enclosing container for discarded values after every
// object it closes, which makes an array of K objects cost O(K^2). Errors
// come in text order as with the library's parser, and its own exceptions
// (parse_error, or out_of_range for a number too large for a double) are
// rethrown as they are.
#include "graph/json_limits.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane {
namespace {

using json = nlohmann::json;

class BoundedBuilder {
 public:
  explicit BoundedBuilder(json& root) : root_(root) {}

  bool null() { return value(nullptr); }
  bool boolean(bool v) { return value(v); }
  bool number_integer(json::number_integer_t v) { return value(v); }
  bool number_unsigned(json::number_unsigned_t v) { return value(v); }
  bool number_float(json::number_float_t v, const json::string_t&) { return value(v); }
  bool string(json::string_t& v) { return value(std::move(v)); }
  bool binary(json::binary_t& v) { return value(std::move(v)); }

  bool start_object(std::size_t) { return open(json::value_t::object); }
  bool start_array(std::size_t) { return open(json::value_t::array); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool key(json::string_t& k) {
    member_ = &(*open_.back())[k];
    return true;
  }

  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& e) {
    throw e;
  }

 private:
  // Places `v` where the text puts it: the root, the next element of the
  // innermost array, or the member whose key came last.
  template <typename Value>
  json* place(Value&& v) {
    if (open_.empty()) {
      root_ = json(std::forward<Value>(v));
      return &root_;
    }
    if (open_.back()->is_array()) return &open_.back()->emplace_back(std::forward<Value>(v));
    *member_ = json(std::forward<Value>(v));
    return member_;
  }
  template <typename Value>
  bool value(Value&& v) {
    place(std::forward<Value>(v));
    return true;
  }
  bool open(json::value_t type) {
    if (open_.size() >= static_cast<std::size_t>(kMaxJsonDepth)) {
      throw json::parse_error::create(
          101, 0, "JSON text nested deeper than " + std::to_string(kMaxJsonDepth) + " levels", nullptr);
    }
    open_.push_back(place(type));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  json& root_;
  std::vector<json*> open_;  // the arrays and objects not yet closed, outermost first
  json* member_ = nullptr;   // the member of the innermost object whose value comes next
};

}  // namespace

nlohmann::json parse_json_bounded(std::string_view text) {
  json result;
  BoundedBuilder builder(result);
  json::sax_parse(text.begin(), text.end(), &builder);
  return result;
}

}  // namespace orvane
