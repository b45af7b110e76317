// The import of neo4j-admin's file groups (admin_import.h).
//
// Each group's header is read once into columns (admin_columns.h) that say
// what every field is. Node ids live in id spaces: the key a node is found
// by is the id itself in the unnamed space, and "SPACE" 0x1F "ID" in a
// named one, so the same id in two spaces names two nodes. An integer id
// type reads every id as a 64-bit integer first, so "007" and "7" are one
// node.
//
// Reading and typing a record costs far more than adding it to the graph,
// and needs nothing of the graph, so it runs on worker threads: each takes
// the next file of the group, reads and types its records, and hands them
// over in batches through a bounded queue of its own (memory stays bounded
// whatever the file sizes). The importing thread takes the files' batches
// in file order and adds the records in order, so the graph, its ids and
// every message are those of a reading one record at a time. A failure
// anywhere stops the workers; the first failure in file order is the one
// reported, with its file, line and column (io/import_position.h).
//
// Skipped entries (a duplicate node id, a relationship to a node no group
// has, each when its skip option is on) are counted and the first ones
// kept with their position; more of them than the bad tolerance stop the
// import. An entry that is not skipped fails it at once.
#include "io/admin_import.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/admin_columns.h"
#include "io/compressed_input.h"
#include "io/csv_reader.h"
#include "io/import_position.h"
#include "io/neo4j_input.h"
#include "io/transfer_progress.h"

namespace orvane {
namespace {

constexpr std::size_t kBatchRecords = 2048;
constexpr std::size_t kQueuedBatches = 16;

struct Batch {
  std::vector<TypedRecord> records;
  std::exception_ptr error;  // after the records: where the file's reading stopped
};

// The typed records of one file, from the worker that reads it to the
// importing thread.
class FileChannel {
 public:
  // Waits while the queue is full; false when the import was cancelled.
  bool push(Batch batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    not_full_.wait(lock, [&] { return queue_.size() < kQueuedBatches || cancelled_; });
    if (cancelled_) return false;
    queue_.push_back(std::move(batch));
    not_empty_.notify_one();
    return true;
  }
  void close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    not_empty_.notify_one();
  }
  // The next batch; false once the file is done.
  bool pop(Batch& batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    not_empty_.wait(lock, [&] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return false;
    batch = std::move(queue_.front());
    queue_.pop_front();
    not_full_.notify_one();
    return true;
  }
  void cancel() {
    const std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    not_full_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable not_full_, not_empty_;
  std::deque<Batch> queue_;
  bool closed_ = false;
  bool cancelled_ = false;
};

// The header of a group's first file; throws "FILE: header is missing".
std::vector<std::string> read_header(const std::string& file, const CsvDialect& dialect) {
  const std::unique_ptr<std::istream> in = open_import_input(file);
  CsvRecord record;
  try {
    if (!read_csv_record(*in, record, dialect)) throw ImportPositionError(file, 0, "", "header is missing");
  } catch (...) {
    rethrow_at_record(file, record.line);
  }
  if (!record.fields.empty() && record.fields.front().starts_with("\xEF\xBB\xBF")) record.fields.front().erase(0, 3);
  return record.fields;
}

// Reads and types the records of one group's files on worker threads
// (the top of this file has the scheme).
class GroupPipeline {
 public:
  GroupPipeline(const ImportFileGroup& group, const std::vector<AdminColumn>& columns, bool nodes,
                const CsvDialect& dialect, const RecordTyper& typer)
      : group_(group), columns_(columns), nodes_(nodes), dialect_(dialect), typer_(typer),
        progress_(current_progress()), channels_(group.files.size()) {
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min<std::size_t>(cores - 1, group.files.size());
    try {
      for (std::size_t w = 0; w < workers; ++w) threads_.emplace_back([this] { work(); });
    } catch (...) {
      stop();
      throw;
    }
  }
  ~GroupPipeline() { stop(); }
  GroupPipeline(const GroupPipeline&) = delete;
  GroupPipeline& operator=(const GroupPipeline&) = delete;

  // Calls `apply(file, record)` for every record in file order; rethrows
  // the first reading failure in that order.
  template <typename Apply>
  void run(Apply apply) {
    Batch batch;
    for (std::size_t f = 0; f < channels_.size(); ++f) {
      while (channels_[f].pop(batch)) {
        for (TypedRecord& record : batch.records) apply(group_.files[f], record);
        if (batch.error) std::rethrow_exception(batch.error);
      }
    }
  }

 private:
  void work() {
    for (std::size_t f = next_.fetch_add(1); f < channels_.size() && !cancelled_; f = next_.fetch_add(1)) {
      read_file(f);
      channels_[f].close();
    }
  }

  void read_file(std::size_t f) {
    const std::string& file = group_.files[f];
    FileChannel& channel = channels_[f];
    Batch batch;
    try {
      const std::unique_ptr<std::istream> in = open_import_input(file);
      CsvRecord record;
      for (bool header = f == 0;; header = false) {
        bool read = false;
        try {
          read = read_csv_record(*in, record, dialect_);
          if (!read) break;
          if (progress_ != nullptr) {
            std::uint64_t bytes = record.fields.size();  // a delimiter or the line's end each
            for (const std::string& field : record.fields) bytes += field.size();
            progress_->bytes.fetch_add(bytes, std::memory_order_relaxed);
          }
          const bool blank = record.fields.size() == 1 && record.fields[0].empty() && !record.quoted[0];
          if (header || blank) continue;
          if (batch.records.empty()) batch.records.reserve(kBatchRecords);
          batch.records.push_back(nodes_ ? typer_.node(record, columns_, group_)
                                         : typer_.relationship(record, columns_, group_));
        } catch (...) {
          rethrow_at_record(file, record.line);
        }
        if (batch.records.size() == kBatchRecords) {
          if (!channel.push(std::move(batch))) return;
          batch = Batch{};
        }
      }
    } catch (...) {
      batch.error = std::current_exception();
      cancelled_ = true;  // nothing after the first failure is needed
    }
    channel.push(std::move(batch));
  }

  void stop() {
    cancelled_ = true;
    for (FileChannel& channel : channels_) channel.cancel();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  const ImportFileGroup& group_;
  const std::vector<AdminColumn>& columns_;
  const bool nodes_;
  const CsvDialect& dialect_;
  const RecordTyper& typer_;
  TransferProgress* const progress_;
  std::vector<FileChannel> channels_;  // by file
  std::atomic<std::size_t> next_{0};   // the next file a worker takes
  std::atomic<bool> cancelled_{false};
  std::vector<std::thread> threads_;
};

class AdminImport {
 public:
  AdminImport(const AdminImportOptions& options, ImportContext& context, AdminImportReport& report)
      : options_(options),
        dialect_(csv_dialect(options.delimiter, options.quote, options.multiline_fields)),
        typer_(options),
        context_(context),
        report_(report) {}

  void nodes(const ImportFileGroup& group) {
    const std::vector<AdminColumn> columns = columns_of(group);
    const AdminColumn* id = find_column(columns, AdminColumnKind::kId);
    if (id == nullptr) throw ImportPositionError(group.files.front(), 1, "", "node header requires an :ID column");
    GroupPipeline pipeline(group, columns, true, dialect_, typer_);
    pipeline.run([&](const std::string& file, TypedRecord& r) {
      try {
        const std::string& key = r.key.empty() ? r.number : r.key;
        if (context_.add_node_if_new(key, r.number, r.labels, std::move(r.properties))) {
          ++report_.nodes;
          return;
        }
        if (r.number.empty()) throw std::runtime_error("node id is missing");
        const std::string reason = "duplicate node id " + r.number + RecordTyper::space_text(id->space);
        if (!options_.skip_duplicate_nodes) throw std::runtime_error(reason + " (skip such with --skip-duplicate-nodes)");
        skip(file, r.line, reason, report_.skipped_nodes);
      } catch (...) {
        rethrow_at_record(file, r.line);
      }
    });
  }

  void relationships(const ImportFileGroup& group) {
    const std::vector<AdminColumn> columns = columns_of(group);
    const AdminColumn* start = find_column(columns, AdminColumnKind::kStartId);
    const AdminColumn* end = find_column(columns, AdminColumnKind::kEndId);
    if (start == nullptr || end == nullptr) {
      throw ImportPositionError(group.files.front(), 1, "",
                                "relationship header requires :START_ID and :END_ID columns");
    }
    const std::string fallback = group.names.empty() ? std::string() : group.names.front();
    GroupPipeline pipeline(group, columns, false, dialect_, typer_);
    pipeline.run([&](const std::string& file, TypedRecord& r) {
      try {
        if (context_.add_relationship_if_known(r.from, r.to, r.type.empty() ? fallback : r.type,
                                               std::move(r.properties))) {
          ++report_.relationships;
          return;
        }
        const bool start_missing = !context_.has_node(r.from);
        const std::string reason =
            std::string("relationship to a missing node: ") +
            (start_missing ? ":START_ID " + std::string(RecordTyper::id_of_key(r.from)) + RecordTyper::space_text(start->space)
                           : ":END_ID " + std::string(RecordTyper::id_of_key(r.to)) + RecordTyper::space_text(end->space));
        if (!options_.skip_bad_relationships) throw std::runtime_error(reason + " (skip such with --skip-bad-relationships)");
        skip(file, r.line, reason, report_.skipped_relationships);
      } catch (...) {
        rethrow_at_record(file, r.line);
      }
    });
  }

 private:
  std::vector<AdminColumn> columns_of(const ImportFileGroup& group) const {
    if (group.files.empty()) throw std::runtime_error("--nodes or --relationships names no file");
    const std::string& file = group.files.front();
    const std::vector<std::string> header = read_header(file, dialect_);
    try {
      return admin_columns(header);
    } catch (...) {
      rethrow_at_record(file, 1);
    }
  }

  void skip(const std::string& file, std::uint64_t line, const std::string& reason, std::uint64_t& count) {
    ++count;
    if (report_.skipped.size() < kReportedSkips) {
      report_.skipped.push_back(file + " line " + std::to_string(line) + ": " + reason);
    }
    const std::uint64_t bad = report_.skipped_nodes + report_.skipped_relationships;
    if (bad > options_.bad_tolerance) {
      throw std::runtime_error("import stopped: more than " + std::to_string(options_.bad_tolerance) +
                               " bad entries (--bad-tolerance); this one: " + reason);
    }
  }

  const AdminImportOptions& options_;
  CsvDialect dialect_;
  RecordTyper typer_;
  ImportContext& context_;
  AdminImportReport& report_;
};

// The bytes the groups' files hold, when no file is compressed (their
// sizes then tell nothing of what is read); 0 otherwise.
std::uint64_t input_bytes(const AdminImportOptions& options) {
  std::uint64_t total = 0;
  for (const auto* groups : {&options.nodes, &options.relationships}) {
    for (const ImportFileGroup& group : *groups) {
      for (const std::string& file : group.files) {
        std::error_code error;
        const std::uint64_t size = std::filesystem::file_size(file, error);
        if (error || file.ends_with(".gz") || file.ends_with(".zip")) return 0;
        total += size;
      }
    }
  }
  return total;
}

}  // namespace

Database import_admin_groups(const AdminImportOptions& options, AdminImportReport* report) {
  if (options.nodes.empty()) throw std::runtime_error("the import needs at least one --nodes group");
  if (TransferProgress* progress = current_progress()) progress->total_bytes = input_bytes(options);
  Database db;
  ImportContext context(db);
  AdminImportReport counted;
  AdminImport import(options, context, counted);
  for (const ImportFileGroup& group : options.nodes) import.nodes(group);
  for (const ImportFileGroup& group : options.relationships) import.relationships(group);
  context.finish();
  if (report != nullptr) *report = std::move(counted);
  return db;
}

}  // namespace orvane
