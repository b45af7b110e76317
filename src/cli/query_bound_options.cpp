// apply_query_bound_options: each option read where the others are
// (option_value), checked by the console's table of bound settings, so the
// command line, :config and a request refuse the same values with the same
// words.
#include "cli/query_bound_options.h"

#include <stdexcept>
#include <string>

#include "base/decimal.h"
#include "cli/options.h"
#include "console/query_bounds.h"

namespace orvane {

WorkBound query_bound_options(int argc, char** argv) {
  WorkBound bound;
  for (const BoundSetting& setting : bound_settings()) {
    const std::string text = option_value(argc, argv, setting.option, "");
    if (text.empty() && !has_flag(argc, argv, setting.option)) continue;
    const std::optional<std::uint64_t> value = parse_decimal(text);
    if (!value || !set_bound_value(bound, setting, *value)) {
      throw std::runtime_error(std::string("invalid value for ") + setting.option + ": " + bound_range_text(setting));
    }
  }
  return bound;
}

}  // namespace orvane
