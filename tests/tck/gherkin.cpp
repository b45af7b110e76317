// The reader works line by line with one pending "block" (the Background,
// a Scenario or a Scenario Outline) that collects steps; a step collects
// the doc string or table lines that follow it. Outlines are expanded when
// their block ends, once all their Examples rows are known.
#include "tck/gherkin.h"

#include <cstddef>
#include <optional>

namespace orvane::tck {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) {
      if (begin < text.size()) lines.emplace_back(text.substr(begin));
      break;
    }
    lines.emplace_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

std::string replace_placeholders(const std::string& s, const std::vector<std::string>& names,
                                 const std::vector<std::string>& values) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    bool replaced = false;
    if (s[i] == '<') {
      for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& n = names[k];
        if (s.compare(i + 1, n.size(), n) == 0 && i + 1 + n.size() < s.size() && s[i + 1 + n.size()] == '>') {
          out += values[k];
          i += n.size() + 2;
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += s[i++];
  }
  return out;
}

enum class BlockKind { kBackground, kScenario, kOutline };

struct Block {
  BlockKind kind = BlockKind::kScenario;
  std::string title;
  std::vector<std::string> tags;
  std::vector<GherkinStep> steps;
  int line = 0;
  std::vector<GherkinTable> examples;  // each: header row first
  bool in_examples = false;            // the last keyword was Examples:, rows go to examples.back()
};

class FeatureReader {
 public:
  FeatureReader(std::string_view text, const std::string& id) : lines_(split_lines(text)), id_(id) {}

  GherkinFeature read() {
    for (line_no_ = 1; line_no_ <= static_cast<int>(lines_.size()); ++line_no_) one_line();
    finish_block();
    if (!seen_feature_) fail("no Feature");
    return std::move(feature_);
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    throw GherkinError(id_ + ":" + std::to_string(line_no_) + ": " + reason);
  }

  void one_line() {
    const std::string& raw = lines_[line_no_ - 1];
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') return;
    if (line.front() == '@') return read_tags(line);
    if (starts_with(line, "\"\"\"") || starts_with(line, "```")) return read_doc_string(raw, line);
    if (line.front() == '|') return read_table_row(line);
    if (const std::optional<std::string_view> rest = after_keyword(line, "Feature:")) {
      seen_feature_ = true;
      feature_.name = std::string(trim(*rest));
      feature_tags_ = std::move(pending_tags_);
      pending_tags_.clear();
      return;
    }
    if (after_keyword(line, "Background:")) return open_block(BlockKind::kBackground, "");
    for (const char* k : {"Scenario Outline:", "Scenario Template:"}) {
      if (const auto rest = after_keyword(line, k)) return open_block(BlockKind::kOutline, *rest);
    }
    for (const char* k : {"Scenario:", "Example:"}) {
      if (const auto rest = after_keyword(line, k)) return open_block(BlockKind::kScenario, *rest);
    }
    for (const char* k : {"Examples:", "Scenarios:"}) {
      if (after_keyword(line, k)) return open_examples();
    }
    if (after_keyword(line, "Rule:")) return finish_block();
    for (const char* k : {"Given ", "When ", "Then ", "And ", "But ", "* "}) {
      if (starts_with(line, k)) return add_step(std::string(trim(std::string_view(k))), line.substr(std::string_view(k).size()));
    }
    // Free text right after a Feature or Scenario line is its description.
    if (!block_ || block_->steps.empty()) return;
    fail("unexpected line: " + std::string(line));
  }

  static std::optional<std::string_view> after_keyword(std::string_view line, std::string_view keyword) {
    if (!starts_with(line, keyword)) return std::nullopt;
    return line.substr(keyword.size());
  }

  void read_tags(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size()) {
      if (line[i] == '#') break;  // a comment ends the tag line
      if (line[i] == '@') {
        const std::size_t begin = ++i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '@') ++i;
        pending_tags_.emplace_back(line.substr(begin, i - begin));
      } else {
        ++i;
      }
    }
  }

  void open_block(BlockKind kind, std::string_view title) {
    if (!seen_feature_) fail("scenario before Feature");
    finish_block();
    block_.emplace();
    block_->kind = kind;
    block_->title = std::string(trim(title));
    block_->tags = feature_tags_;
    block_->tags.insert(block_->tags.end(), pending_tags_.begin(), pending_tags_.end());
    pending_tags_.clear();
    block_->line = line_no_;
  }

  void open_examples() {
    if (!block_ || block_->kind != BlockKind::kOutline) fail("Examples outside a Scenario Outline");
    block_->examples.emplace_back();
    block_->in_examples = true;
    pending_tags_.clear();  // tags of an Examples table select nothing here
  }

  void add_step(std::string keyword, std::string_view text) {
    if (!block_) fail("step outside a scenario");
    if (block_->in_examples) fail("step after Examples");
    GherkinStep step;
    step.keyword = std::move(keyword);
    step.text = std::string(trim(text));
    step.line = line_no_;
    block_->steps.push_back(std::move(step));
  }

  void read_table_row(std::string_view line) {
    if (!block_) fail("table outside a scenario");
    GherkinTable* table = nullptr;
    if (block_->in_examples) {
      table = &block_->examples.back();
    } else if (!block_->steps.empty()) {
      GherkinStep& step = block_->steps.back();
      if (step.has_doc_string) fail("table after a doc string");
      table = &step.table;
    } else {
      fail("table before any step");
    }
    std::vector<std::string> cells;
    try {
      cells = table_cells(line);
    } catch (const GherkinError& e) {
      fail(e.what());
    }
    if (!table->empty() && table->front().size() != cells.size()) {
      fail("table row has " + std::to_string(cells.size()) + " cells, the first row " +
           std::to_string(table->front().size()));
    }
    table->push_back(std::move(cells));
  }

  // A doc string's lines lose as much leading blank as the opening
  // delimiter had (no more than each line has); an escaped delimiter
  // inside stands for itself.
  void read_doc_string(const std::string& raw, std::string_view opening) {
    if (!block_ || block_->steps.empty() || block_->in_examples) fail("doc string outside a step");
    GherkinStep& step = block_->steps.back();
    if (step.has_doc_string || !step.table.empty()) fail("second argument for one step");
    const std::string delimiter(opening.substr(0, 3));
    const std::size_t indent = raw.find(delimiter);
    const int opened_at = line_no_;
    std::string content;
    bool first = true;
    for (++line_no_; line_no_ <= static_cast<int>(lines_.size()); ++line_no_) {
      std::string text = lines_[line_no_ - 1];
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (trim(text) == delimiter) {
        step.has_doc_string = true;
        step.doc_string = std::move(content);
        return;
      }
      std::size_t cut = 0;
      while (cut < indent && cut < text.size() && (text[cut] == ' ' || text[cut] == '\t')) ++cut;
      text.erase(0, cut);
      const std::string escaped = "\\" + std::string(1, delimiter[0]) + "\\" + std::string(1, delimiter[0]) +
                                  "\\" + std::string(1, delimiter[0]);
      for (std::size_t at = text.find(escaped); at != std::string::npos; at = text.find(escaped, at + 3)) {
        text.replace(at, escaped.size(), delimiter);
      }
      if (!first) content += '\n';
      content += text;
      first = false;
    }
    line_no_ = opened_at;
    fail("doc string not closed");
  }

  void finish_block() {
    if (!block_) return;
    Block block = std::move(*block_);
    block_.reset();
    switch (block.kind) {
      case BlockKind::kBackground: background_ = std::move(block.steps); return;
      case BlockKind::kScenario: {
        GherkinScenario s;
        s.title = block.title;
        s.name = id_ + ":" + block.title;
        s.tags = std::move(block.tags);
        s.steps = background_;
        s.steps.insert(s.steps.end(), block.steps.begin(), block.steps.end());
        s.line = block.line;
        feature_.scenarios.push_back(std::move(s));
        return;
      }
      case BlockKind::kOutline: expand_outline(block); return;
    }
  }

  void expand_outline(const Block& block) {
    int row_number = 0;
    for (const GherkinTable& examples : block.examples) {
      if (examples.empty()) continue;
      const std::vector<std::string>& names = examples.front();
      for (std::size_t r = 1; r < examples.size(); ++r) {
        const std::vector<std::string>& values = examples[r];
        GherkinScenario s;
        s.title = replace_placeholders(block.title, names, values);
        s.example_row = ++row_number;
        s.name = id_ + ":" + s.title + " #" + std::to_string(s.example_row);
        s.tags = block.tags;
        s.steps = background_;
        s.line = block.line;
        for (GherkinStep step : block.steps) {
          step.text = replace_placeholders(step.text, names, values);
          step.doc_string = replace_placeholders(step.doc_string, names, values);
          for (std::vector<std::string>& row : step.table) {
            for (std::string& cell : row) cell = replace_placeholders(cell, names, values);
          }
          s.steps.push_back(std::move(step));
        }
        feature_.scenarios.push_back(std::move(s));
      }
    }
    if (row_number == 0) {
      line_no_ = block.line;
      fail("Scenario Outline without Examples rows");
    }
  }

  std::vector<std::string> lines_;
  std::string id_;
  int line_no_ = 0;
  bool seen_feature_ = false;
  GherkinFeature feature_;
  std::vector<std::string> feature_tags_;
  std::vector<std::string> pending_tags_;
  std::vector<GherkinStep> background_;
  std::optional<Block> block_;
};

}  // namespace

std::vector<std::string> table_cells(std::string_view line) {
  line = trim(line);
  if (line.size() < 1 || line.front() != '|') throw GherkinError("table row must start with '|'");
  std::vector<std::string> cells;
  std::string cell;
  bool closed = true;
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      const char e = line[i + 1];
      if (e == '|' || e == '\\' || e == 'n') {
        cell += e == 'n' ? '\n' : e;
        ++i;
        closed = false;
        continue;
      }
    }
    if (c == '|') {
      cells.emplace_back(trim(cell));
      cell.clear();
      closed = true;
    } else {
      cell += c;
      closed = false;
    }
  }
  if (!closed) throw GherkinError("table row must end with '|'");
  return cells;
}

GherkinFeature parse_feature(std::string_view text, const std::string& id) { return FeatureReader(text, id).read(); }

}  // namespace orvane::tck
