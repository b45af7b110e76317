// orvane::Engine: the state a server and its console share — the open
// databases (the registry) and the current one, where each database is kept
// on disk, the statement counters, the query log, the change events, the
// console settings (parameters, style, auto-entropy interval, the bound
// statements run under) and the remote connections.
//
// Every change goes through a method that keeps the engine's invariants:
// the registry and the files agree, the bounded lists stay bounded, and a
// database reaches disk only through save() or install(), the engine's one
// save point. One Engine per server process, owned by whoever serves it
// and lent by reference. A server holds mutex() around every use: shared
// for statements that only read, in its writer mode for statements that
// write (beside the readers), exclusive for anything else; a command uses
// it from its single thread. What readers and the writer change beside
// each other is kept apart: each request's own state (its database, its
// bound, its transaction, the versions it reads) per thread, the counters
// and the query log under a mutex of their own, the plan cache under its
// own, and each database as two copies (console/database_versions.h):
// readers read the version published when they started, the writer writes
// the other copy and publishes it when its unit commits.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "console/engine_lock.h"
#include "graph/database.h"
#include "query/exec/work_bound.h"
#include "remote/remote_endpoint.h"

namespace orvane {

class DatabaseVersions;
class GraphWriterLock;
class WriteAheadLog;
class ProcedureRegistry;
class PlanCache;

// The graph style of a new engine: captions and colours per label and type.
inline constexpr const char* kDefaultStyle =
    R"({"node":{"caption":"{name}","Person":"#0b1f33","Paper":"#1a4f8b"},)"
    R"("rel":{"FOLLOWS":"#1a4f8b","AUTHORED":"#0b1f33"}})";

inline constexpr std::size_t kQueryLogCapacity = 200;  // entries kept; older ones are dropped
// Change events kept, and the bytes one event's detail keeps: a :param
// records its value, and whole values would grow a long-running server's
// memory with every statement.
inline constexpr std::size_t kChangeEventCapacity = 10000;
inline constexpr std::size_t kChangeDetailBytes = 1024;
// A statement kept in the query log is cut to this many bytes.
inline constexpr std::size_t kQueryLogTextBytes = 4096;
// :param values: at most this many names, and this many bytes of names and
// values together. Every :param answer lists them all.
inline constexpr std::size_t kMaxParams = 1000;
inline constexpr std::size_t kMaxParamBytes = 1 << 20;
// Registered remote connections; every catalogue answer lists them all.
inline constexpr std::size_t kMaxRemotes = 64;

struct ChangeEvent {
  std::string op;      // what changed, e.g. "create_node"
  std::string detail;  // the operation's argument text, at most kChangeDetailBytes
};

struct QueryLogEntry {
  std::string cypher;  // the statement as given, at most kQueryLogTextBytes
  double ns = 0;       // elapsed nanoseconds; 0 for a statement that failed
  bool ok = false;     // the statement succeeded
};

using ParamTable = std::unordered_map<std::string, std::string>;  // :param values as text

class Transactions;
struct Transaction;

// Defers the syncs of the calling thread's commits (Engine::defer_syncs)
// while it lives; the owner calls Engine::await_durable once it has
// released the engine lock.
class DeferredSyncScope;

class Engine {
 public:
  Engine();
  ~Engine();
  Engine(Engine&&) noexcept;
  Engine& operator=(Engine&&) noexcept;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The lock a server holds around every use of the engine (engine_lock.h).
  EngineLock& mutex() const { return *lock_; }

  // --- Settings, fixed before serving.
  std::string web_root;            // console web files; empty means "web"
  std::string site_root = "site";  // product site files; empty also means "site"
  std::string instance_id;         // identity of this server process
  std::string bolt_address;        // "bolt://127.0.0.1:PORT" while a Bolt listener serves; "" for none

  // --- The registry.

  // The database registered under `name`, or under the current name when
  // `name` is empty, compiled: writes since its last compilation are
  // folded into its arrays first, for the readers that read those alone
  // (documents, analytics, layout, export, the snapshot writer). Throws
  // std::runtime_error "unknown database: NAME" (the effective name) when
  // there is none. The reference stays valid until a database is
  // registered or installed under the same name.
  Database& database(const std::string& name = "");
  const Database& database(const std::string& name = "") const;
  // The database registered under `name` exactly, as it is (nothing
  // folded or compiled), or null when there is none.
  const Database* peek_database(const std::string& name) const;
  // Puts `folded`, the database registered under `name` with its delta
  // folded (Database::fold of a copy) or the graph of a committed
  // transaction, in that database's place, in memory only: what it holds
  // is what the file holds already. `folded` is left empty or holding the
  // old graph, for its owner to free after releasing the engine lock.
  // Readers reading the old version keep it. Does nothing when no
  // database has that name.
  void replace_folded(const std::string& name, Database& folded);
  // The same for the background fold, which holds the lock in its writer
  // mode: `folded` becomes the published version, and the old one the
  // writer's copy when one is wanted. (A writer's copy stays as it is;
  // the next fold folds it, once it is published.)
  void publish_folded(const std::string& name, Database folded);
  // The same database for the query engine, whose readers merge the
  // writes since the last compilation with its arrays: folds nothing
  // (compiles only a graph whose arrays are not valid at all).
  Database& live_database(const std::string& name = "");

  // `name`; when `name` is empty, the statement's database while one is
  // set, else the current name.
  const std::string& effective_name(const std::string& name) const {
    if (!name.empty()) return name;
    const std::string& own = request().database;
    return !own.empty() ? own : current_;
  }
  // Makes the empty name mean `name` for the statement the calling thread
  // runs, without changing the selection; "" ends that. A request that
  // names its database applies it to its own statement only.
  void set_statement_database(std::string name) { request().database = std::move(name); }
  const std::string& current_name() const { return current_; }
  bool has_database(const std::string& name) const { return databases_.contains(name); }
  // Every registered database by name, each compiled as database()
  // compiles it.
  std::map<std::string, const Database*> databases() const;

  // --- Readers and the writer beside them.
  //
  // A server's request says how it uses the engine: reading (the engine
  // lock held shared), writing (held in its writer mode) or, by default,
  // exclusively. While the calling thread reads, every database it asks
  // for is the version published when it first asked, pinned until it
  // stops reading; while it writes, the writer's copy of the database it
  // writes, published when it stops writing. Use the scopes below.
  void begin_reading();
  void end_reading() noexcept;
  // Starts writing database `name` (the current one when empty) on its
  // writer's copy: false, changing nothing, when it has none ready (none
  // made yet, or a long reader holds it), and the write must then run
  // exclusively; a copy is then wanted (copies_wanted). Throws "unknown
  // database: NAME".
  bool begin_writing(const std::string& name = "");
  // Publishes what the units the thread committed wrote.
  void end_writing() noexcept;
  // The version of database `name` (effective_name) the calling thread's
  // reading has pinned, for a reader that goes on after its request (a
  // Bolt result streamed over several messages keeps it); null when the
  // thread does not read or has not asked for that database.
  std::shared_ptr<const Database> reading_pin(const std::string& name) const;
  // The databases whose writer's copy is to be made, which the
  // background fold does beside readers (console/background_fold.h):
  // pin_version, copy the graph, then adopt_writer_copy
  // in the lock's writer mode (false: too old).
  std::vector<std::string> copies_wanted() const;
  std::pair<std::shared_ptr<Database>, std::uint64_t> pin_version(const std::string& name) const;
  bool adopt_writer_copy(const std::string& name, std::shared_ptr<Database> copy, std::uint64_t version);
  // The writer's copy of database `name`, caught up, for a transaction's
  // first write (console/transactions.h), or null when it has none ready
  // or no background fold runs to make one. Requires: the engine's
  // exclusive use.
  std::shared_ptr<Database> lend_writer_copy(const std::string& name);
  // The commit point of a transaction that wrote `work` (its private
  // graph, or the writer's copy lent to it) by `record`: commit(), then
  // `work` becomes database `name`'s published version (published as the
  // writer's copy while it still is that, else put in its place). Throws
  // as commit() does; `work` is then as it was.
  void commit_transaction(const std::string& name, const std::string& record, Database& work);
  // Writer's copies adopted so far: a figure for tests and benchmarks.
  std::uint64_t writer_copies(const std::string& name) const;
  // Every registered name in ascending byte order.
  std::vector<std::string> database_names() const;

  // Registers `db` under `name` in memory, destroying a database already
  // registered there; the current database does not change and nothing is
  // written (a database gets its file on its first save). Throws
  // "database name must not be empty", and "database NAME is kept in FILE;
  // replace it through install" for a name that has a file.
  void register_database(const std::string& name, Database db);

  // Makes `name` the current database, and records the choice in the
  // catalogue when databases are kept on disk. Throws "unknown database:
  // NAME" or the catalogue writer's message, leaving the selection as it was.
  void use_database(const std::string& name);

  // --- Keeping databases on disk.

  // Keeps the current database in the snapshot at `path` from now on, and
  // every other database that gets written in a file of its own beside it
  // (NAME.orv, or NAME-2.orv ... when that name is taken), listed with the
  // current selection in the catalogue beside `path` (storage/catalogue.h).
  // `lock` is the writer lock of `path`, taken by the caller before it read
  // anything; the engine holds it from now on. With `save_now` the current
  // database and the catalogue are written at once. Requires: the current
  // database is registered and nothing is kept yet.
  void keep_in(const std::string& path, std::unique_ptr<GraphWriterLock> lock, bool save_now);

  // Opens what keep_in keeps at `path` (which must exist): with a
  // catalogue, every database it lists, each from its file under that
  // file's writer lock, with its selection (the database of `path` when the
  // listed one has no file); without one, the snapshot at `path` as
  // "restored" with a "restore" event, as a restore would. Then keeps them
  // there as keep_in does and saves the database of `path` and the
  // catalogue. Throws the loader's, lock's and catalogue's messages;
  // "database catalogue CATALOGUE does not list PATH" when it does not.
  // Requires: a new engine.
  void open_kept(const std::string& path, std::unique_ptr<GraphWriterLock> lock);

  // The snapshot the current database started in; "" when nothing is kept.
  const std::string& snapshot_path() const { return snapshot_path_; }
  // The file database `name` is kept in; "" when it has none (yet).
  std::string file_of(const std::string& name) const;
  // The name of the database kept in the file `path` (compared as resolved
  // files), or "" when none is.
  std::string database_in_file(const std::string& path) const;

  // The save point of a change made in memory: writes database `name` (the
  // current one when empty) to its file, giving it one first (and listing
  // it in the catalogue) when it has none, folding its delta first (a new
  // version, as save_version, when that compacts tombstones away). Does
  // nothing when nothing is kept. Throws "unknown database: NAME" and the writers' messages; the
  // files are then as they were.
  void save(const std::string& name = "");
  // The commit point of a unit of work that changed database `name` (the
  // current one when empty) by `record` (graph/change_record.h; empty when
  // it changed nothing): appends the record to the database's write-ahead
  // log and returns once it is durable, then writes a checkpoint (save())
  // when the log has passed the log bound. A database without a file yet
  // is saved whole instead, which gives it one. Does nothing when nothing
  // is kept. Throws the log's messages ("write-ahead log PATH: No space
  // left on device", ...); the unit is then not committed and the caller
  // takes it back.
  void commit(const std::string& name, const std::string& record);
  // Writes a checkpoint of every kept database whose log holds records, as
  // at a clean shutdown. Throws the writers' messages.
  void checkpoint();
  // While `defer` holds, a commit on the calling thread appends its record
  // and leaves the wait for the disk to await_durable(), so that the
  // caller can release the engine lock first: writers then share fsyncs
  // (group commit). Readers may see a write before it is durable, never
  // its writer's acknowledgement.
  void defer_syncs(bool defer) { request().defer_syncs = defer; }
  // Returns once every record the calling thread's deferred commits
  // appended is durable. Throws the log's "could not be made durable"
  // message; the write must then not be acknowledged. Call it without the
  // engine lock.
  void await_durable();
  // The log size past which a commit writes a checkpoint (default 64 MiB).
  void set_log_bound(std::uint64_t bytes) { log_bound_ = bytes; }
  // With `on`, a commit leaves the checkpoint its log's size calls for to
  // a background thread (console/background_fold.h), which writes it
  // beside the readers.
  void set_background_checkpoints(bool on) { background_checkpoints_ = on; }
  // Whether database `name`'s log has passed the log bound.
  bool checkpoint_due(const std::string& name) const;
  // Writes `folded` (database `name` as it is, its delta folded) as the
  // checkpoint of `name`'s file and retires its log. Requires: no writer
  // runs (the engine lock held in the fold's mode or exclusively).
  // Throws the writers' messages; the files are then as they were.
  void write_checkpoint(const std::string& name, const Database& folded);
  // Whether a commit waits for its record to reach the disk (the default);
  // off trades the last commits before a crash for speed.
  void set_durable_commits(bool durable) { durable_commits_ = durable; }

  // The save point of a change that produced a new version of database
  // `name` (the current one when empty): writes `next` as save() writes,
  // then puts it in the old one's place. Throws as save() does, leaving
  // the database and its files as they were.
  void save_version(const std::string& name, Database next);

  // Registers `db` under `name` (replacing one of that name), selects it and
  // records `events`, all or nothing: when databases are kept, `db` is
  // written first (the current database's own snapshot in place, any other
  // into a new file that replaces its old one only through the catalogue),
  // and a failure leaves the registry, the selection, the events and every
  // file as they were. Throws "database name must not be empty" and the
  // writers' messages.
  void install(const std::string& name, Database db, std::vector<ChangeEvent> events);

  // --- Counters, logs and events.

  // Counts one statement: a success adds `ns` to the total time.
  void count_statement(bool ok, double ns);
  std::uint64_t statement_count() const { return statement_count_; }
  std::uint64_t error_count() const { return error_count_; }
  double total_statement_ns() const { return total_statement_ns_; }

  // Appends a query log entry (the text cut to kQueryLogTextBytes), dropping
  // the oldest beyond kQueryLogCapacity.
  void log_statement(const std::string& cypher, double ns, bool ok);
  const std::deque<QueryLogEntry>& query_log() const { return query_log_; }

  // Appends a change event (the detail cut to kChangeDetailBytes), dropping
  // the oldest beyond kChangeEventCapacity, and counts it in change_count.
  void record_change(std::string op, std::string detail);
  const std::deque<ChangeEvent>& changes() const { return changes_; }
  std::uint64_t change_count() const { return change_count_; }

  // --- Console settings.

  const ParamTable& params() const { return params_; }
  // Sets :param `name` to `value`. Throws "too many parameters: at most 1000
  // names and 1048576 bytes of names and values" when the table would pass
  // either bound; the table is then unchanged.
  void set_param(const std::string& name, const std::string& value);

  const std::string& style() const { return style_; }
  void set_style(std::string style) { style_ = std::move(style); }

  std::int32_t auto_entropy_every() const { return auto_entropy_every_; }
  void set_auto_entropy_every(std::int32_t every) { auto_entropy_every_ = every; }
  // Counts a statement toward the auto-entropy schedule; true when the
  // optimisation is due (an interval is set and that many statements ran).
  bool optimisation_due();
  // Restarts the schedule after an optimisation.
  void optimised() { statements_since_optimize_ = 0; }

  // The time, steps and memory a statement may take: the setting every
  // statement runs under (:config, the --query-* options), and the bound a
  // request gives its own statements instead (console/query_bounds.h, which
  // checks both against their ceilings).
  const WorkBound& query_bound() const { return query_bound_; }
  void set_query_bound(const WorkBound& bound) { query_bound_ = bound; }
  // The bound of the statement being run: the request's while one is set,
  // else the setting. nullopt ends the request's.
  const WorkBound& statement_bound() const {
    const std::optional<WorkBound>& own = request().bound;
    return own ? *own : query_bound_;
  }
  void set_statement_bound(std::optional<WorkBound> bound) { request().bound = bound; }

  // The procedures CALL can name in this engine's statements: the graph
  // procedures, and whatever its owner registers.
  ProcedureRegistry& procedures() { return *procedures_; }
  const ProcedureRegistry& procedures() const { return *procedures_; }
  // The plans of statements run before, shared by every database of the
  // engine (a plan is checked against the database it runs on).
  PlanCache& plan_cache() { return *plan_cache_; }

  // Explicit transactions (console/transactions.h).
  Transactions& transactions() { return *transactions_; }
  const Transactions& transactions() const { return *transactions_; }
  // The transaction the statements the calling thread dispatches run in,
  // or null when each is its own unit of work; set for one dispatch by
  // TransactionScope.
  Transaction* transaction() const { return request().transaction; }
  void set_transaction(Transaction* tx) { request().transaction = tx; }

  const std::vector<RemoteEndpoint>& remotes() const { return remotes_; }
  // Appends a remote connection. Throws "too many remote connections: at
  // most 64" when kMaxRemotes are registered.
  void add_remote(const RemoteEndpoint& endpoint);

 private:
  // What one request sets for its own statements.
  enum class Access { kExclusive, kRead, kWrite };
  struct Writing {
    std::string name;                  // a database the thread writes
    std::vector<std::string> records;  // its committed units' records, not yet published
  };
  struct RequestState {
    Access access = Access::kExclusive;  // see begin_reading, begin_writing
    std::vector<std::pair<std::string, std::shared_ptr<Database>>> pins;  // the versions read
    std::vector<Writing> writing;        // the databases written
    std::string database;             // see set_statement_database
    std::optional<WorkBound> bound;   // see set_statement_bound
    Transaction* transaction = nullptr;  // see set_transaction
    bool defer_syncs = false;            // see defer_syncs
    std::vector<std::pair<std::shared_ptr<WriteAheadLog>, std::uint64_t>> pending;  // appended, not yet synced
  };
  struct Guarded;  // the per-thread request states and the statistics' mutex
  // The calling thread's request state; its address never changes.
  RequestState& request() const;
  // Held while the counters, the query log and the change events change.
  std::mutex& stats_mutex() const;
  // The versions of database `name`; throws "unknown database: NAME".
  DatabaseVersions& versions_of(const std::string& name) const;
  // The version the reading `state` reads of `name`, pinned at its first
  // use; with `folded`, or when its arrays are not valid, a private copy
  // folded (a published version is never changed).
  Database& pinned(RequestState& state, const std::string& name, bool folded) const;
  // commit() of `record` to database `effective`'s log, without counting
  // it anywhere in memory: whether a checkpoint is due.
  bool log_record(RequestState& state, const std::string& effective, const std::string& record);
  // The writer's copy of `name` for the writing `state`, which claimed it
  // in begin_writing; throws std::logic_error for any other.
  Database& claimed(RequestState& state, const std::string& name);

  // save() of `db` as database `effective`.
  void save_as(const std::string& effective, const Database& db);
  struct KeptFile;  // a database's file and its writer lock

  KeptFile new_file(const std::string& name) const;
  void write_catalogue_with(const std::string& current, const std::string* added_name,
                            const std::string* added_file) const;

  std::uint64_t log_bound_ = std::uint64_t{64} << 20;
  bool durable_commits_ = true;
  bool background_checkpoints_ = false;
  std::unique_ptr<EngineLock> lock_;
  std::unique_ptr<Guarded> guarded_;
  std::unique_ptr<ProcedureRegistry> procedures_;
  std::unique_ptr<PlanCache> plan_cache_;
  std::unique_ptr<Transactions> transactions_;
  std::unordered_map<std::string, std::unique_ptr<DatabaseVersions>> databases_;
  std::string current_ = "orvane";  // need not be registered
  std::string snapshot_path_;       // resolved; "" when nothing is kept
  std::map<std::string, std::unique_ptr<KeptFile>> files_;  // name → its file, for kept databases

  std::uint64_t statement_count_ = 0;
  std::uint64_t error_count_ = 0;
  double total_statement_ns_ = 0;
  std::deque<QueryLogEntry> query_log_;
  std::deque<ChangeEvent> changes_;
  std::uint64_t change_count_ = 0;
  ParamTable params_{{"id", "0"}, {"other", "12"}};
  std::size_t param_bytes_ = 0;
  std::string style_ = kDefaultStyle;
  std::int32_t auto_entropy_every_ = 0;
  std::int32_t statements_since_optimize_ = 0;
  WorkBound query_bound_;
  std::vector<RemoteEndpoint> remotes_;
};

class DeferredSyncScope {
 public:
  explicit DeferredSyncScope(Engine& engine) : engine_(engine) { engine_.defer_syncs(true); }
  ~DeferredSyncScope() { engine_.defer_syncs(false); }
  DeferredSyncScope(const DeferredSyncScope&) = delete;
  DeferredSyncScope& operator=(const DeferredSyncScope&) = delete;

 private:
  Engine& engine_;
};

// While it lives, the calling thread reads (Engine::begin_reading).
class ReadingScope {
 public:
  explicit ReadingScope(Engine& engine) : engine_(engine) { engine_.begin_reading(); }
  ~ReadingScope() { engine_.end_reading(); }
  ReadingScope(const ReadingScope&) = delete;
  ReadingScope& operator=(const ReadingScope&) = delete;

 private:
  Engine& engine_;
};

// While it lives, the calling thread writes database `name` beside
// readers when ready() (Engine::begin_writing); its end publishes. End it
// before releasing the engine lock's writer mode.
class WritingScope {
 public:
  explicit WritingScope(Engine& engine, const std::string& name = "")
      : engine_(engine), ready_(engine.begin_writing(name)) {}
  ~WritingScope() {
    if (ready_) engine_.end_writing();
  }
  WritingScope(const WritingScope&) = delete;
  WritingScope& operator=(const WritingScope&) = delete;
  bool ready() const { return ready_; }

 private:
  Engine& engine_;
  const bool ready_;
};

// "unknown database: " + name, the registry's one failure message.
std::string unknown_database_message(const std::string& name);

}  // namespace orvane
