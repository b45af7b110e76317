// neo4j-admin's import arguments (admin_import.h). Each option is taken in
// both of the forms neo4j-admin's command line accepts, "--opt=value" and
// "--opt value"; a flag stands alone for true or takes "=true"/"=false"
// (or a following "true"/"false"). The group options keep the older
// "--nodes:Label=FILE" form working too.
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "base/text.h"
#include "io/admin_import.h"

#include <nlohmann/json.hpp>

namespace orvane {
namespace {

// One character as neo4j-admin writes it: itself, TAB, \t, or U+XXXX.
char character_of(const std::string& option, const std::string& value) {
  if (value.size() == 1) return value[0];
  if (value == "TAB" || value == "\\t") return '\t';
  if (value.size() == 6 && (value.starts_with("U+") || value.starts_with("u+"))) {
    char* end = nullptr;
    const long code = std::strtol(value.c_str() + 2, &end, 16);
    if (end == value.c_str() + 6 && code > 0 && code < 128) return static_cast<char>(code);
  }
  throw std::runtime_error(option + " must be one character, TAB, \\t or U+XXXX (below U+0080)");
}

bool flag_value(const std::string& option, const std::string& value) {
  const std::string lower = ascii_lower(value);
  if (lower == "true") return true;
  if (lower == "false") return false;
  throw std::runtime_error(option + " takes true or false");
}

// A group: "[NAMES=]FILE[,FILE...]" where NAMES are labels joined by ':'
// (a node group) or one type (a relationship group).
ImportFileGroup group_of(const std::string& option, const std::string& names, const std::string& value) {
  ImportFileGroup group;
  std::string files = value;
  std::string written_names = names;
  if (const std::size_t equals = value.find('='); equals != std::string::npos) {
    if (!written_names.empty()) throw std::runtime_error(option + " names its labels or type once");
    written_names = value.substr(0, equals);
    files = value.substr(equals + 1);
  }
  for (std::string& name : split_at(written_names, ':')) {
    if (!name.empty()) group.names.push_back(std::move(name));
  }
  if (option == "--relationships" && group.names.size() > 1) {
    throw std::runtime_error("--relationships takes one type: " + written_names);
  }
  for (std::string& file : split_at(files, ',')) {
    if (!file.empty()) group.files.push_back(std::move(file));
  }
  if (group.files.empty()) throw std::runtime_error(option + " needs a file");
  return group;
}

// "arrayDelimiter" → "array-delimiter".
std::string option_name(const std::string& key) {
  std::string name;
  for (const char c : key) {
    if (c >= 'A' && c <= 'Z') {
      name += '-';
      name += static_cast<char>(c - 'A' + 'a');
    } else {
      name += c;
    }
  }
  return name;
}

std::vector<ImportFileGroup> groups_of(const nlohmann::json& list, const char* field, const char* names) {
  if (!list.is_array()) throw std::runtime_error(std::string("invalid request field: ") + field);
  std::vector<ImportFileGroup> groups;
  for (const nlohmann::json& item : list) {
    if (!item.is_object()) throw std::runtime_error(std::string("invalid request field: ") + field);
    ImportFileGroup group;
    const auto strings = [&](const char* member, std::vector<std::string>& out) {
      const auto it = item.find(member);
      if (it == item.end()) return;
      if (it->is_string()) {
        out.push_back(it->get<std::string>());
        return;
      }
      if (!it->is_array()) throw std::runtime_error(std::string("invalid request field: ") + member);
      for (const nlohmann::json& s : *it) {
        if (!s.is_string()) throw std::runtime_error(std::string("invalid request field: ") + member);
        out.push_back(s.get<std::string>());
      }
    };
    strings(names, group.names);
    strings("files", group.files);
    if (std::string(field) == "relationships" && group.names.size() > 1) {
      throw std::runtime_error("--relationships takes one type");
    }
    if (group.files.empty()) throw std::runtime_error(std::string("--") + field + " needs a file");
    groups.push_back(std::move(group));
  }
  return groups;
}

}  // namespace

AdminImportOptions admin_import_options(const nlohmann::json& request) {
  std::vector<std::string> arguments;
  for (const auto& [key, value] : request.items()) {
    if (key == "nodes" || key == "relationships" || key == "name" || key == "dir") continue;
    std::string text;
    if (value.is_string()) {
      text = value.get<std::string>();
    } else if (value.is_boolean()) {
      text = value.get<bool>() ? "true" : "false";
    } else if (value.is_number_integer()) {
      text = std::to_string(value.get<std::int64_t>());
    } else {
      throw std::runtime_error("invalid request field: " + key);
    }
    arguments.push_back("--" + option_name(key) + "=" + text);
  }
  std::vector<std::string> rest;
  AdminImportOptions options = parse_admin_import_arguments(arguments, rest);
  if (!rest.empty()) throw std::runtime_error("unknown import option: " + rest.front().substr(2, rest.front().find('=') - 2));
  if (const auto nodes = request.find("nodes"); nodes != request.end()) options.nodes = groups_of(*nodes, "nodes", "labels");
  if (const auto rels = request.find("relationships"); rels != request.end()) {
    options.relationships = groups_of(*rels, "relationships", "type");
  }
  return options;
}

bool has_admin_import_groups(const std::vector<std::string>& arguments) {
  for (const std::string& a : arguments) {
    for (const char* option : {"--nodes", "--relationships"}) {
      const std::string o = option;
      if (a == o || a.starts_with(o + "=") || a.starts_with(o + ":")) return true;
    }
  }
  return false;
}

AdminImportOptions parse_admin_import_arguments(const std::vector<std::string>& arguments,
                                                std::vector<std::string>& rest) {
  AdminImportOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    std::string option = argument;
    std::optional<std::string> value;
    if (const std::size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
      option = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    }
    // The older group form: --nodes:Label1:Label2=FILE.
    std::string names;
    for (const char* group_option : {"--nodes", "--relationships"}) {
      const std::string prefix = std::string(group_option) + ":";
      if (option.starts_with(prefix)) {
        names = option.substr(prefix.size());
        option = group_option;
      }
    }
    const auto take_value = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= arguments.size()) throw std::runtime_error("missing value for " + option);
      return arguments[++i];
    };
    const auto take_flag = [&]() -> bool {
      if (value) return flag_value(option, *value);
      if (i + 1 < arguments.size() && (ascii_lower(arguments[i + 1]) == "true" || ascii_lower(arguments[i + 1]) == "false")) {
        return flag_value(option, arguments[++i]);
      }
      return true;
    };
    if (option == "--nodes") {
      options.nodes.push_back(group_of(option, names, take_value()));
    } else if (option == "--relationships") {
      options.relationships.push_back(group_of(option, names, take_value()));
    } else if (option == "--delimiter") {
      options.delimiter = character_of(option, take_value());
    } else if (option == "--array-delimiter") {
      options.array_delimiter = character_of(option, take_value());
    } else if (option == "--quote") {
      options.quote = character_of(option, take_value());
    } else if (option == "--id-type") {
      const std::string type = ascii_lower(take_value());
      if (type == "string") {
        options.id_type = ImportIdType::kString;
      } else if (type == "integer") {
        options.id_type = ImportIdType::kInteger;
      } else if (type == "actual") {
        options.id_type = ImportIdType::kActual;
      } else {
        throw std::runtime_error("unknown --id-type: " + type + "; use string, integer or actual");
      }
    } else if (option == "--bad-tolerance") {
      const std::string count = take_value();
      char* end = nullptr;
      const long long n = std::strtoll(count.c_str(), &end, 10);
      if (count.empty() || *end != '\0' || n < -1) {
        throw std::runtime_error("--bad-tolerance must be a count, or -1 for no bound");
      }
      options.bad_tolerance = n == -1 ? UINT64_MAX : static_cast<std::uint64_t>(n);
    } else if (option == "--ignore-empty-strings") {
      options.ignore_empty_strings = take_flag();
    } else if (option == "--trim-strings") {
      options.trim_strings = take_flag();
    } else if (option == "--skip-duplicate-nodes") {
      options.skip_duplicate_nodes = take_flag();
    } else if (option == "--skip-bad-relationships") {
      options.skip_bad_relationships = take_flag();
    } else if (option == "--multiline-fields") {
      options.multiline_fields = take_flag();
    } else {
      rest.push_back(argument);
    }
  }
  return options;
}

}  // namespace orvane
