// The depth bound is enforced during parsing through the parser callback,
// which sees every array and object start with its depth, so the deep text
// is refused before its value is ever built.
#include "graph/json_limits.h"

#include <string>

#include <nlohmann/json.hpp>

namespace orvane {

nlohmann::json parse_json_bounded(std::string_view text) {
  using Event = nlohmann::json::parse_event_t;
  const auto bound = [](int depth, Event event, nlohmann::json&) {
    if ((event == Event::object_start || event == Event::array_start) && depth >= kMaxJsonDepth) {
      throw nlohmann::json::parse_error::create(
          101, 0, "JSON text nested deeper than " + std::to_string(kMaxJsonDepth) + " levels", nullptr);
    }
    return true;
  };
  return nlohmann::json::parse(text.begin(), text.end(), bound);
}

}  // namespace orvane
