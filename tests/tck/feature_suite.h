// The conformance suite on disk: every .feature file under a features
// folder, read in path order, and the list of scenarios known to pass.
#pragma once

#include <string>
#include <vector>

#include "tck/gherkin.h"

namespace orvane::tck {

struct SuiteScenario {
  std::string folder;         // the feature file's folder under features/: "clauses/match"
  GherkinScenario scenario;   // named "<folder>/<file>:<title>[ #row]"
};

// Every scenario of every .feature file under `features_dir`, files in
// ascending path order and scenarios in file order. Throws GherkinError
// for a malformed file, std::runtime_error "scenario name repeated: NAME"
// when two scenarios would share a name, or when the folder cannot be read.
std::vector<SuiteScenario> load_suite(const std::string& features_dir);

// The names listed in `path`, one a line (blank lines and lines starting
// with '#' skipped); empty when the file does not exist.
std::vector<std::string> read_name_list(const std::string& path);

// Writes `names` sorted, one a line, replacing `path`. Throws
// std::runtime_error when the file cannot be written.
void write_name_list(const std::string& path, std::vector<std::string> names);

}  // namespace orvane::tck
