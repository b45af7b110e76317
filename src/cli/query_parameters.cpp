// command_line_parameters: the two options read here, their values typed
// by the console (console/parameter_values.h), so the command line, the
// statement route and :param agree on what a value is.
#include "cli/query_parameters.h"

#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "console/parameter_values.h"

namespace orvane {
namespace {

// A name the dispatcher's "$name" reads whole: letters, digits and "_".
bool parameter_name(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

std::string value_after(int argc, char** argv, int i) {
  if (i + 1 >= argc) throw std::runtime_error(std::string("missing value for ") + argv[i]);
  return argv[i + 1];
}

}  // namespace

ParamMap command_line_parameters(int argc, char** argv) {
  ParamMap out;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) != "--params") continue;
    const std::string text = value_after(argc, argv, i);
    try {
      for (auto& [name, value] : parameters_from_json(text)) out[name] = std::move(value);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("invalid --params: ") + e.what());
    }
  }
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) != "--param") continue;
    const std::string arg = value_after(argc, argv, i);
    const std::size_t equals = arg.find('=');
    try {
      if (equals == std::string::npos) throw std::runtime_error("expected name=VALUE");
      const std::string name = arg.substr(0, equals);
      if (!parameter_name(name)) throw std::runtime_error("a parameter name is letters, digits and _");
      out[name] = evaluate_parameter(std::string_view(arg).substr(equals + 1));
    } catch (const std::exception& e) {
      throw std::runtime_error("invalid --param " + arg + ": " + e.what());
    }
  }
  return out;
}

}  // namespace orvane
