// The server's threads and resources: the worker count, start failures, the
// bounded queue's 503, the engine mutex (routes one at a time, files and slow
// readers never holding it), draining on stop, close-on-exec sockets and the
// raised descriptor limit.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_test_server.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(Server, WorkerCountRule) {
  const struct { const char* setting; unsigned hardware; int workers; } cases[] = {
      {nullptr, 0, 32}, {nullptr, 2, 16},  {nullptr, 64, 64}, {nullptr, 500, 128}, {"2", 8, 4},
      {"1000", 8, 256}, {"abc", 8, 32},    {"  +12x", 8, 12}, {"-5", 8, 4},        {"100", 0, 100},
      {"2147483647", 8, 256}, {"2147483648", 8, 32}, {"-2147483649", 8, 32},
  };
  for (const auto& c : cases) EXPECT_EQ(c.workers, http_worker_count(c.setting, c.hardware)) << c.setting;
}

TEST(Server, StartFailures) {
  const auto start_error = [](HttpServerOptions options) -> std::string {
    try {
      TestServer server(std::move(options));
      return "started";
    } catch (const std::runtime_error& e) {
      return e.what();
    }
  };
  const std::string short_key = "public binding requires ORVANE_API_KEY with at least 32 random characters";
  EXPECT_EQ(short_key, start_error({.public_binding = true, .api_key = ""}));
  EXPECT_EQ(short_key, start_error({.public_binding = true, .api_key = std::string(31, 'k')}));
  EXPECT_EQ(short_key, start_error({.api_key = "short"}));
  ::setenv("ORVANE_API_KEY", "short", 1);  // no server runs while the environment changes
  EXPECT_EQ(short_key, start_error({}));
  ::unsetenv("ORVANE_API_KEY");
  TestServer first(HttpServerOptions{.api_key = ""});
  EXPECT_EQ("bind failed on port " + std::to_string(first.port()), start_error({.port = first.port(), .api_key = ""}));
}

TEST(Server, FullQueueIsAnswered503) {
  // One worker held by a client that sends nothing, one queued connection,
  // and the next one finds the queue full.
  TestServer server(HttpServerOptions{.api_key = "", .workers = 1, .queue_limit = 1, .socket_timeout = 3s});
  RawConnection held(server.port());
  std::this_thread::sleep_for(200ms);  // the worker takes it and waits for bytes
  RawConnection queued(server.port());
  std::this_thread::sleep_for(200ms);
  RawConnection refused(server.port());
  EXPECT_EQ(R"({"ok":false,"error":"overloaded"})", parse_reply(refused.read_all(2s)).body);
  // The queued connection is still served once the worker is free.
  queued.send(make_request("GET", "/v1/none"));
  held.send(make_request("GET", "/v1/none"));
  EXPECT_EQ(404, parse_reply(held.read_all()).status);
  EXPECT_EQ(404, parse_reply(queued.read_all()).status);
}

TEST(Server, OnlyRoutesHoldTheEngineAndOnlyWhileAnswering) {
  TempDir web;
  std::ofstream(web.file("index.html")) << "<p>console</p>";
  std::promise<void> open;
  const std::shared_future<void> gate = open.get_future().share();
  std::atomic<int> inside{0}, most{0};
  const std::string big(16 << 20, 'x');  // far more than socket buffers hold
  TestServer server(HttpServerOptions{.web_root = web.path(), .api_key = "", .workers = 8}, [&](const HttpRequest& r) {
    if (r.path == "/v1/block") gate.wait();
    if (r.path == "/v1/big") return HttpResponse{200, big, "text/plain"};
    const int now = ++inside;
    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(5ms);
    --inside;
    return HttpResponse{200, "{}", "application/json"};
  });
  std::vector<std::future<int>> replies;
  for (int i = 0; i < 16; ++i) {
    replies.push_back(std::async(std::launch::async, [&] {
      return http_exchange(server.port(), make_request("GET", "/v1/x")).status;
    }));
  }
  for (auto& r : replies) EXPECT_EQ(200, r.get());
  EXPECT_EQ(1, most.load());
  // A client that does not read its large answer holds no route.
  RawConnection slow(server.port());
  slow.send(make_request("GET", "/v1/big"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(200, http_exchange(server.port(), make_request("GET", "/v1/small")).status);
  // A route blocked inside the engine does not stop files.
  RawConnection blocked(server.port());
  blocked.send(make_request("GET", "/v1/block"));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ("<p>console</p>", http_exchange(server.port(), make_request("GET", "/")).body);
  open.set_value();
  EXPECT_EQ(200, parse_reply(blocked.read_all()).status);
  EXPECT_EQ(big.size(), parse_reply(slow.read_all()).body.size());
}

TEST(Server, StopAnswersRequestsInFlightAndQueued) {
  std::promise<void> open;
  const std::shared_future<void> gate = open.get_future().share();
  std::atomic<int> entered{0};
  auto server = std::make_unique<TestServer>(HttpServerOptions{.api_key = "", .workers = 4}, [&](const HttpRequest&) {
    ++entered;
    gate.wait();
    return HttpResponse{200, "{\"done\":true}", "application/json"};
  });
  const unsigned short port = server->port();
  std::vector<std::unique_ptr<RawConnection>> clients;
  for (int i = 0; i < 8; ++i) {  // more than there are workers: some wait in the queue
    clients.push_back(std::make_unique<RawConnection>(port));
    clients.back()->send(make_request("GET", "/v1/work"));
  }
  while (entered.load() == 0) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(200ms);  // every connection accepted, none left in the backlog
  server->request_stop();
  std::this_thread::sleep_for(300ms);  // more than one accept poll: the loop has seen the flag
  auto stopped = std::async(std::launch::async, [&] { return server->stop(10s); });
  open.set_value();
  for (auto& c : clients) EXPECT_EQ("{\"done\":true}", parse_reply(c->read_all()).body);
  EXPECT_TRUE(stopped.get());
  EXPECT_EQ(8, entered.load());
  EXPECT_THROW(RawConnection late(port), std::runtime_error);  // nothing listens any more
}

// The soft descriptor limit is raised to the hard one at start, and every
// socket (the listener, an accepted connection) is close-on-exec.
TEST(Server, PreparesDescriptors) {
  rlimit limit{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  const bool lowered = limit.rlim_max >= 512;
  if (lowered) limit.rlim_cur = 256;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &limit));
  TestServer server(HttpServerOptions{.api_key = ""});
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  EXPECT_TRUE(!lowered || limit.rlim_cur == limit.rlim_max) << "soft limit " << limit.rlim_cur;
  RawConnection idle(server.port());  // accepted, and held by a worker while it waits for bytes
  std::this_thread::sleep_for(200ms);
  int sockets = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
    ++sockets;
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << fd;
  }
  EXPECT_GE(sockets, 3);  // the listener, the client and the accepted connection
}

}  // namespace
}  // namespace orvane::testing
