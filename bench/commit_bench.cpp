// Commit benchmark, in process through the console API, on a generated
// corpus kept in a file: the latency of a one-node CREATE committed to the
// write-ahead log (p50, p99), beside the physical limit measured in the
// same run on the same disk (fdatasync after a 100-byte append); the rate
// of such commits from 1 and 16 threads that release the engine lock
// before they wait for the disk (as the HTTP statement route does), with
// fsync and without; and the time loading takes to replay a log of
// `replay` statements, against loading the snapshot alone.
//
//   commit_bench [persons] [commits] [replay] [dir]
//                (default 1000000 2000 100000 /tmp)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/console_result.h"
#include "console/dispatcher.h"
#include "console/engine.h"
#include "console/engine_lock.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "storage/snapshot.h"
#include "storage/writer_lock.h"

namespace {

using Clock = std::chrono::steady_clock;
using orvane::Engine;

double us_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void commit_one(Engine& engine, std::uint64_t i, bool release_before_sync) {
  orvane::ConsoleResult out;
  {
    const std::lock_guard<orvane::EngineLock> lock(engine.mutex());
    engine.defer_syncs(release_before_sync);
    orvane::dispatch(out, engine, "CREATE (:Person {name: 'c" + std::to_string(i) + "'})", "", nullptr);
    engine.defer_syncs(false);
  }
  engine.await_durable();
  if (!out.ok) {
    std::fprintf(stderr, "commit_bench: %s\n", out.error.c_str());
    std::exit(1);
  }
}

// Commits per second from `threads` threads for about a second.
double rate(Engine& engine, int threads) {
  std::vector<std::thread> pool;
  std::uint64_t done = 0;
  std::mutex m;
  const auto t0 = Clock::now();
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      std::uint64_t n = 0;
      while (us_since(t0) < 1e6) commit_one(engine, 1000000000ull + static_cast<std::uint64_t>(t) * 1000000 + n++, true);
      const std::lock_guard<std::mutex> lock(m);
      done += n;
    });
  }
  for (std::thread& t : pool) t.join();
  return static_cast<double>(done) / (us_since(t0) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const int commits = argc > 2 ? std::atoi(argv[2]) : 2000;
  const std::uint64_t replay = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 100000;
  const std::string dir = (argc > 4 ? std::string(argv[4]) : std::string("/tmp")) + "/orvane-commit-bench-" +
                          std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/graph.orv";

  {
    Engine engine;
    orvane::Database db;
    orvane::generate_corpus(db, persons, 0, 42);
    engine.register_database("g", std::move(db));
    engine.use_database("g");
    engine.keep_in(file, orvane::GraphWriterLock::acquire(file), true);

    // The physical limit: a 100-byte append made durable.
    std::vector<double> fsync_us, commit_us;
    {
      const std::string probe = dir + "/probe";
      const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
      const std::string bytes(100, 'x');
      for (int i = 0; i < commits; ++i) {
        const auto t0 = Clock::now();
        if (::write(fd, bytes.data(), bytes.size()) != 100 || ::fdatasync(fd) != 0) return 1;
        fsync_us.push_back(us_since(t0));
      }
      ::close(fd);
      ::unlink(probe.c_str());
    }
    for (int i = 0; i < commits; ++i) {
      const auto t0 = Clock::now();
      commit_one(engine, static_cast<std::uint64_t>(i), false);
      commit_us.push_back(us_since(t0));
    }
    std::printf("%llu persons, %d commits of CREATE (:Person {name: ...})\n",
                static_cast<unsigned long long>(persons), commits);
    std::printf("%-34s%10s%10s\n", "", "p50 µs", "p99 µs");
    std::printf("%-34s%10.0f%10.0f\n", "fdatasync of a 100-byte append", percentile(fsync_us, 0.5),
                percentile(fsync_us, 0.99));
    std::printf("%-34s%10.0f%10.0f   (%.2fx the fdatasync at p50)\n", "commit to the log", percentile(commit_us, 0.5),
                percentile(commit_us, 0.99), percentile(commit_us, 0.5) / percentile(fsync_us, 0.5));

    const double one = rate(engine, 1), sixteen = rate(engine, 16);
    engine.set_durable_commits(false);
    const double unsynced = rate(engine, 16);
    engine.set_durable_commits(true);
    std::printf("\ncommits/s: 1 thread %.0f, 16 threads %.0f (%.1fx), 16 threads without fsync %.0f (%.0f%%)\n", one,
                sixteen, sixteen / one, unsynced, 100 * sixteen / unsynced);

    // A log of `replay` statements; the checkpoint bound is lifted so that
    // it stays a log.
    engine.set_log_bound(~std::uint64_t{0});
    engine.set_durable_commits(false);
    for (std::uint64_t i = 0; i < replay; ++i) commit_one(engine, 2000000000ull + i, false);
    std::printf("\nlog of %llu more statements: %.1f MB\n", static_cast<unsigned long long>(replay),
                static_cast<double>(std::filesystem::file_size(file + "-wal")) / 1e6);
    std::filesystem::copy_file(file, dir + "/bare.orv");
    const auto t0 = Clock::now();
    const orvane::Database bare = orvane::load_snapshot(dir + "/bare.orv");
    const double bare_ms = us_since(t0) / 1000;
    const auto t1 = Clock::now();
    const orvane::Database recovered = orvane::load_snapshot(file);
    const double recovered_ms = us_since(t1) / 1000;
    std::printf("load: snapshot alone %.0f ms, with the log replayed %.0f ms (replay %.0f ms), %llu nodes\n", bare_ms,
                recovered_ms, recovered_ms - bare_ms, static_cast<unsigned long long>(recovered.graph.node_count));
  }
  std::filesystem::remove_all(dir);
  return 0;
}
