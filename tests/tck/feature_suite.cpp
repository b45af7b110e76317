// Paths are sorted before reading so that scenario order (and so any
// output) is the same on every file system.
#include "tck/feature_suite.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace orvane::tck {

std::vector<SuiteScenario> load_suite(const std::string& features_dir) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(features_dir)) {
    if (e.is_regular_file() && e.path().extension() == ".feature") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<SuiteScenario> out;
  std::set<std::string> names;
  for (const fs::path& file : files) {
    const fs::path relative = file.lexically_relative(features_dir);
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    GherkinFeature feature = parse_feature(text.str(), relative.generic_string());
    for (GherkinScenario& s : feature.scenarios) {
      if (!names.insert(s.name).second) throw std::runtime_error("scenario name repeated: " + s.name);
      out.push_back({relative.parent_path().generic_string(), std::move(s)});
    }
  }
  return out;
}

std::vector<std::string> read_name_list(const std::string& path) {
  std::vector<std::string> names;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    names.push_back(line);
  }
  return names;
}

void write_name_list(const std::string& path, std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  for (const std::string& n : names) out << n << '\n';
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace orvane::tck
