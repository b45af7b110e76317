// Analytics benchmark: top-k retrieval against the memory bandwidth of the
// embedding array, and the hop_reach edge rate, each on one and two
// threads, over the full-size corpus.
//
//   analytics_bench [persons] [papers] [rounds]     (default 1000000 400000 5)
//
// Retrieval. The streaming read sums the corpus's own embedding array (N × 32
// floats) with the same static blocks and the same team size as
// retrieve_top_k, so both sides see the same memory, the same pages and the
// same number of threads. Each figure is the best of `rounds` runs, and the
// streaming and retrieval runs are interleaved so that noise from other
// processes falls on both. Bytes counted for retrieval are what it has to
// read: the label array plus the embeddings of the nodes it scores (all N
// for the unfiltered scoring that the dimension sweep times).
//
// Traversal. hop_reach from the hub over FOLLOWS, with levels large enough
// for the parallel expansion; the rate counts the relationships actually
// scanned (out-degrees of every expanded frontier node), which is the same
// for every thread count. The largest level is also timed alone through
// expand_frontier. Counts must agree across thread counts; the program exits
// with status 1 when they do not.
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "analytics/parallelism.h"
#include "analytics/retrieval.h"
#include "analytics/top_k.h"
#include "analytics/traversal.h"
#include "graph/corpus.h"
#include "graph/database.h"
#include "layout/entropy_worker.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Sums `n` floats with one static block per thread (as parallel_top_k
// splits its rows) and returns the sum so the reads cannot be dropped. With
// `prefetch`, each 64-byte line is also requested 4 KiB ahead, as the
// retrieval scoring does, so that the reference is the faster of a plain
// and a prefetching read, never a handicapped one.
float stream_sum(const float* data, std::uint64_t n, int threads, bool prefetch) {
  constexpr std::uint64_t kLine = 16, kAhead = 1024;  // floats
  float total = 0;
#pragma omp parallel num_threads(threads) reduction(+ : total)
  {
    const auto team = static_cast<std::uint64_t>(omp_get_num_threads());
    const auto t = static_cast<std::uint64_t>(omp_get_thread_num());
    const std::uint64_t base = n / team, extra = n % team;
    const std::uint64_t begin = t * base + std::min(t, extra);
    const std::uint64_t end = begin + base + (t < extra ? 1 : 0);
    float s = 0;
    if (prefetch) {
      for (std::uint64_t i = begin; i < end; i += kLine) {
        __builtin_prefetch(data + std::min(i + kAhead, n - 1));
        const std::uint64_t stop = std::min(i + kLine, end);
#pragma omp simd reduction(+ : s)
        for (std::uint64_t j = i; j < stop; ++j) s += data[j];
      }
    } else {
#pragma omp simd reduction(+ : s)
      for (std::uint64_t i = begin; i < end; ++i) s += data[i];
    }
    total += s;
  }
  return total;
}

struct Best {
  double seconds = 1e30;
  void add(double s) { seconds = std::min(seconds, s); }
  double gbs(double bytes) const { return bytes / seconds / 1e9; }
};

int check(bool ok, const char* what) {
  if (!ok) std::printf("MISMATCH: %s\n", what);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned long long persons = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const unsigned long long papers = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 400000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  int failures = 0;

  orvane::Database db;
  auto t0 = Clock::now();
  orvane::generate_corpus(db, persons, papers, 42);
  orvane::optimize_layout(db);
  const orvane::PhysicalGraph& g = db.graph;
  const std::uint64_t n = g.node_count;
  std::printf("corpus persons=%llu papers=%llu nodes=%llu edges=%zu generate_s=%.1f\n", persons, papers,
              static_cast<unsigned long long>(n), g.out_targets.size(), seconds_since(t0));

  // ---- retrieval against streaming ------------------------------------
  std::vector<float> query(32);
  orvane::seed_embedding(query.data(), query.size(), 0, 7);
  const float* embeddings = db.embeddings.data();
  const std::uint64_t floats = n * db.embedding_dim;
  const double array_bytes = static_cast<double>(floats) * sizeof(float);
  std::uint64_t persons_scored = 0;
  for (std::uint64_t i = 0; i < n; ++i) persons_scored += g.labels[i] == db.person_label;
  const double label_bytes = static_cast<double>(n) * sizeof(std::uint16_t);
  const double person_bytes = label_bytes + static_cast<double>(persons_scored) * 32 * sizeof(float);
  const orvane::detail::CosineQuery q = orvane::detail::prepare_query(query.data(), 32);
  std::printf("retrieval rows=%llu person_rows=%llu array_mb=%.1f k=10 rounds=%d\n",
              static_cast<unsigned long long>(n), static_cast<unsigned long long>(persons_scored),
              array_bytes / 1e6, rounds);

  std::vector<orvane::Hit> person_hits[2];
  std::vector<orvane::detail::Scored> all_hits[2];
  Best plain[2], prefetched[2], person[2], all[2];
  volatile float sink = 0;
  sink = sink + stream_sum(embeddings, floats, 2, false);  // warm: pages and team
  for (int r = 0; r < rounds; ++r) {
    for (int t = 0; t < 2; ++t) {
      orvane::set_kernel_threads(t + 1);
      t0 = Clock::now();
      sink = sink + stream_sum(embeddings, floats, t + 1, false);
      plain[t].add(seconds_since(t0));
      t0 = Clock::now();
      sink = sink + stream_sum(embeddings, floats, t + 1, true);
      prefetched[t].add(seconds_since(t0));
      t0 = Clock::now();
      person_hits[t] = orvane::retrieve_top_k(db, query.data(), 32, 10, db.person_label, 0);
      person[t].add(seconds_since(t0));
      t0 = Clock::now();
      all_hits[t] = orvane::detail::parallel_top_k(
          n, 10, [](std::uint64_t) { return true; }, orvane::detail::CosineRows<32>(q, embeddings, n));
      all[t].add(seconds_since(t0));
    }
  }
  double stream_gbs[2];
  for (int t = 0; t < 2; ++t) {
    stream_gbs[t] = std::max(plain[t].gbs(array_bytes), prefetched[t].gbs(array_bytes));
    std::printf("threads=%d stream_plain_gbs=%.3f stream_prefetch_gbs=%.3f stream_gbs=%.3f\n", t + 1,
                plain[t].gbs(array_bytes), prefetched[t].gbs(array_bytes), stream_gbs[t]);
    std::printf("threads=%d retrieve_person_ms=%.2f retrieve_person_gbs=%.3f ratio=%.3f "
                "score_all_ms=%.2f score_all_gbs=%.3f ratio=%.3f\n",
                t + 1, person[t].seconds * 1e3, person[t].gbs(person_bytes), person[t].gbs(person_bytes) / stream_gbs[t],
                all[t].seconds * 1e3, all[t].gbs(array_bytes), all[t].gbs(array_bytes) / stream_gbs[t]);
  }
  std::printf("stream_2t_over_1t=%.3f\n", stream_gbs[1] / stream_gbs[0]);
  bool same_hits = person_hits[0].size() == person_hits[1].size() && all_hits[0].size() == all_hits[1].size();
  for (std::size_t i = 0; same_hits && i < person_hits[0].size(); ++i) {
    same_hits = person_hits[0][i].id == person_hits[1][i].id && person_hits[0][i].score == person_hits[1][i].score;
  }
  for (std::size_t i = 0; same_hits && i < all_hits[0].size(); ++i) {
    same_hits = all_hits[0][i].index == all_hits[1][i].index && all_hits[0][i].score == all_hits[1][i].score;
  }
  failures += check(same_hits, "retrieval hits differ between 1 and 2 threads");

  // The dimension sweep as dim-stress runs it (its own random matrix).
  for (int threads = 1; threads <= 2; ++threads) {
    orvane::set_kernel_threads(threads);
    const auto rows = orvane::dimension_sweep(n, 10, {32}, rounds);
    const double ms = rows.front().cpu_ns / 1e6;
    std::printf("threads=%d dim_sweep_32_ms=%.2f dim_sweep_gbs=%.3f ratio=%.3f\n", threads, ms,
                array_bytes / (ms / 1e3) / 1e9, array_bytes / (ms / 1e3) / 1e9 / stream_gbs[threads - 1]);
  }

  // ---- hop_reach edge rate --------------------------------------------
  const std::uint32_t hub = 0;
  const std::uint16_t F = db.follows_type;
  // Level sizes and scanned relationships, from a sequential walk over the
  // same frontiers hop_reach expands.
  std::vector<std::uint8_t> visited(n, 0);
  std::vector<std::uint32_t> frontier{g.to_physical[hub]}, next;
  visited[frontier[0]] = 1;
  std::vector<std::uint64_t> scanned_by_hops{0};  // relationships scanned by hop_reach(hub, h)
  std::vector<std::uint32_t> largest_level;
  std::vector<std::uint8_t> before_largest;
  std::printf("hop_reach hub=%u levels:", hub);
  while (!frontier.empty()) {
    std::uint64_t scanned = 0;
    for (const std::uint32_t v : frontier) scanned += g.typed_out_neighbors(v, F).size();
    std::printf(" %zu", frontier.size());
    if (frontier.size() > largest_level.size()) {
      largest_level = frontier;
      before_largest = visited;
    }
    scanned_by_hops.push_back(scanned_by_hops.back() + scanned);
    next.clear();
    for (const std::uint32_t v : frontier) {
      for (const std::uint32_t w : g.typed_out_neighbors(v, F)) {
        if (!visited[w]) {
          visited[w] = 1;
          next.push_back(w);
        }
      }
    }
    frontier.swap(next);
  }
  std::printf("\n");
  // The walk that runs every level (the last expands a frontier whose
  // neighbours are all visited already).
  const int hops = static_cast<int>(scanned_by_hops.size()) - 1;
  const double scanned = static_cast<double>(scanned_by_hops.back());
  std::uint64_t reach[2] = {0, 0}, expanded[2] = {0, 0};
  std::uint64_t level_scanned = 0;
  for (const std::uint32_t v : largest_level) level_scanned += g.typed_out_neighbors(v, F).size();
  Best walk[2], level[2];
  for (int t = 0; t < 2; ++t) {
    orvane::set_kernel_threads(t + 1);
    reach[t] = orvane::hop_reach(g, hub, hops, F);
  }
  for (int r = 0; r < rounds; ++r) {
    for (int t = 0; t < 2; ++t) {
      orvane::set_kernel_threads(t + 1);
      t0 = Clock::now();
      const std::uint64_t got = orvane::hop_reach(g, hub, hops, F);
      walk[t].add(seconds_since(t0));
      failures += check(got == reach[t], "hop_reach differs between runs");
      std::vector<std::uint8_t> marks = before_largest;
      t0 = Clock::now();
      orvane::expand_frontier(g, largest_level, F, orvane::Direction::Outgoing, marks, next);
      level[t].add(seconds_since(t0));
      expanded[t] = next.size();
    }
  }
  double rate[2];
  for (int t = 0; t < 2; ++t) {
    rate[t] = scanned / walk[t].seconds;
    std::printf("threads=%d hops=%d reach=%llu scanned=%.0f hop_reach_ms=%.2f edges_per_s=%.0f "
                "expand_largest_ms=%.2f expand_edges_per_s=%.0f next=%llu\n",
                t + 1, hops, static_cast<unsigned long long>(reach[t]), scanned, walk[t].seconds * 1e3, rate[t],
                level[t].seconds * 1e3, static_cast<double>(level_scanned) / level[t].seconds,
                static_cast<unsigned long long>(expanded[t]));
  }
  orvane::set_kernel_threads(0);
  std::printf("hop_reach_2t_over_1t=%.3f\n", rate[1] / rate[0]);
  failures += check(reach[0] == reach[1], "hop_reach differs between 1 and 2 threads");
  failures += check(expanded[0] == expanded[1], "expand_frontier differs between 1 and 2 threads");
  std::uint64_t reached_walk = 0;
  for (const std::uint8_t m : visited) reached_walk += m;
  failures += check(reach[0] == reached_walk, "hop_reach differs from the sequential walk");
  std::printf("%s\n", failures == 0 ? "counts identical across thread counts" : "FAILED");
  return failures == 0 ? 0 : 1;
}
