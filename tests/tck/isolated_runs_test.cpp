// The process pool: verdicts come back in index order, a child that hangs
// is killed at its deadline, one that crashes or throws fails alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "tck/isolated_runs.h"

namespace orvane::tck {
namespace {

TEST(IsolatedRuns, EachChildFailsAlone) {
  const auto task = [](std::size_t i) -> Verdict {
    switch (i) {
      case 1: ::sleep(30); break;
      case 2: std::raise(SIGABRT); break;  // not SIGSEGV: the sanitizers catch that one and exit instead
      case 3: throw std::runtime_error("bad step");
      default: break;
    }
    return {i % 2 == 0, "reason " + std::to_string(i)};
  };
  for (const int jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    std::vector<std::size_t> order;
    const std::vector<Verdict> v = run_isolated(
        6, task, IsolationLimits{jobs, 0.5, 0}, [&](std::size_t i, const Verdict&) { order.push_back(i); });
    ASSERT_EQ(6u, v.size());
    EXPECT_EQ(6u, order.size());
    EXPECT_TRUE(v[0].passed);
    EXPECT_EQ("reason 0", v[0].reason);
    EXPECT_FALSE(v[1].passed);
    EXPECT_EQ("timed out after 0.5 s", v[1].reason);
    EXPECT_FALSE(v[2].passed);
    EXPECT_EQ("crashed: signal 6", v[2].reason);
    EXPECT_FALSE(v[3].passed);
    EXPECT_EQ("runner error: bad step", v[3].reason);
    EXPECT_TRUE(v[4].passed);
    EXPECT_FALSE(v[5].passed);
    EXPECT_EQ("reason 5", v[5].reason);
  }
}

}  // namespace
}  // namespace orvane::tck
