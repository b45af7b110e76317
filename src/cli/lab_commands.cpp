// orvane entropy-lab and orvane entropy-ladder: the lab and ladder on a
// generated corpus, with the report pattern; exit 1 when a renumbering
// changed an answer.
#include <sstream>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/report.h"
#include "layout/entropy_lab.h"

namespace orvane {
namespace {

struct CorpusOptions {
  std::uint64_t people;
  std::uint64_t papers;
  std::uint32_t seed;
};

CorpusOptions corpus_options(int argc, char** argv, const char* people, const char* papers) {
  return CorpusOptions{parse_unsigned(option_value(argc, argv, "--people", people), "--people"),
                       parse_unsigned(option_value(argc, argv, "--papers", papers), "--papers"),
                       static_cast<std::uint32_t>(parse_unsigned(option_value(argc, argv, "--seed", "42"), "--seed"))};
}

// Default stream formatting, as in the report itself.
std::string plain(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

}  // namespace

int run_entropy_lab(int argc, char** argv) {
  const CorpusOptions c = corpus_options(argc, argv, "20000", "8000");
  const int mess = parse_signed(option_value(argc, argv, "--mess", "3"));
  const std::string path = option_value(argc, argv, "--json", "bench/entropy_lab.json");
  check_report_target(path);
  const LabResult result = entropy_lab(c.people, c.papers, c.seed, mess);
  publish_report(lab_json(result), path,
                 std::string(" identical=") + (result.counts_identical ? "true" : "false") +
                     " hop3_speedup=" + plain(result.hop3_speedup));
  return result.counts_identical ? 0 : 1;
}

int run_entropy_ladder(int argc, char** argv) {
  const CorpusOptions c = corpus_options(argc, argv, "8000", "3000");
  const std::string path = option_value(argc, argv, "--json", "bench/entropy_ladder.json");
  check_report_target(path);
  const LadderResult result = entropy_ladder(c.people, c.papers, c.seed);
  publish_report(ladder_json(result), path,
                 std::string(" identical=") + (result.counts_identical ? "true" : "false") +
                     " hop3_speedup_vs_mess3=" + plain(result.hop3_speedup_vs_mess3));
  return result.counts_identical ? 0 : 1;
}

}  // namespace orvane
