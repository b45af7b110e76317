// The server's threads and resources: worker count, start failures, the
// bounded queue's 503, the engine mutex (routes one at a time, files and
// slow readers never blocking routes), draining on stop, close-on-exec
// sockets, the raised descriptor limit, and an Engine served through its
// own roots and route table.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console/engine.h"
#include "http/serve_engine.h"
#include "http_test_server.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// A gate that route handlers wait on until the test opens it.
class Gate {
 public:
  void open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

TEST(Server, WorkerCountRule) {
  const struct {
    const char* setting;
    unsigned hardware;
    int workers;
  } cases[] = {
      {nullptr, 0, 32}, {nullptr, 2, 16},   {nullptr, 64, 64},   {nullptr, 500, 128}, {"2", 8, 4},
      {"1000", 8, 256}, {"abc", 8, 32},     {"", 8, 32},         {"  +12x", 8, 12},   {"-5", 8, 4},
      {"100", 0, 100},  {"2147483647", 8, 256}, {"2147483648", 8, 32}, {"-2147483649", 8, 32}, {"+", 8, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting == nullptr ? "unset" : c.setting);
    EXPECT_EQ(c.workers, http_worker_count(c.setting, c.hardware));
  }
}

TEST(Server, StartFailures) {
  const std::string short_key_message = "public binding requires ORVANE_API_KEY with at least 32 random characters";
  const struct {
    HttpServerOptions options;
    std::string message;
  } cases[] = {
      {{.public_binding = true, .api_key = ""}, short_key_message},
      {{.public_binding = true, .api_key = std::string(31, 'k')}, short_key_message},
      {{.api_key = "short"}, short_key_message},
  };
  for (const auto& c : cases) {
    try {
      TestServer server(c.options);
      ADD_FAILURE() << "started";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.message, e.what());
    }
  }
  TestServer first(HttpServerOptions{.api_key = ""});
  try {
    TestServer second(HttpServerOptions{.port = first.port(), .api_key = ""});
    ADD_FAILURE() << "bound twice";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ("bind failed on port " + std::to_string(first.port()), std::string(e.what()));
  }
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
  const HttpReply reply = parse_reply(refused.read_all(2s));
  EXPECT_EQ(503, reply.status);
  EXPECT_EQ(R"({"ok":false,"error":"overloaded"})", reply.body);
  EXPECT_EQ("application/json", reply.content_type);
  // The queued connection is still served once the worker is free.
  queued.send(make_request("GET", "/v1/none"));
  held.send(make_request("GET", "/v1/none"));
  EXPECT_EQ(404, parse_reply(held.read_all()).status);
  EXPECT_EQ(404, parse_reply(queued.read_all()).status);
}

TEST(Server, RoutesRunOneAtATime) {
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  TestServer server(HttpServerOptions{.api_key = "", .workers = 8}, [&](const HttpRequest&) {
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
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
}

TEST(Server, FilesAndSlowReadersDoNotHoldTheEngine) {
  TempDir web;
  std::ofstream(web.file("index.html")) << "<p>console</p>";
  Gate gate;
  const std::string big(16 << 20, 'x');  // far more than socket buffers hold
  TestServer server(HttpServerOptions{.web_root = web.path(), .api_key = "", .workers = 4},
                    [&](const HttpRequest& r) {
                      if (r.path == "/v1/block") gate.wait();
                      if (r.path == "/v1/big") return HttpResponse{200, big, "text/plain"};
                      return HttpResponse{200, "{}", "application/json"};
                    });
  // A client that asks for a large answer and does not read it.
  RawConnection slow(server.port());
  slow.send(make_request("GET", "/v1/big"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(200, http_exchange(server.port(), make_request("GET", "/v1/small")).status);

  // A route blocked inside the engine does not stop files.
  RawConnection blocked(server.port());
  blocked.send(make_request("GET", "/v1/block"));
  std::this_thread::sleep_for(100ms);
  const HttpReply file = http_exchange(server.port(), make_request("GET", "/"));
  EXPECT_EQ(200, file.status);
  EXPECT_EQ("<p>console</p>", file.body);
  gate.open();
  EXPECT_EQ(200, parse_reply(blocked.read_all()).status);
  EXPECT_EQ(big.size(), parse_reply(slow.read_all()).body.size());
}

TEST(Server, StopAnswersRequestsInFlightAndQueued) {
  Gate gate;
  std::atomic<int> entered{0};
  auto server = std::make_unique<TestServer>(HttpServerOptions{.api_key = "", .workers = 4},
                                             [&](const HttpRequest&) {
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
  std::this_thread::sleep_for(200ms);  // every connection accepted, not left in the backlog
  server->request_stop();
  std::this_thread::sleep_for(300ms);  // more than one accept poll: the loop has seen the flag
  auto stopped = std::async(std::launch::async, [&] { return server->stop(10s); });
  gate.open();
  for (auto& c : clients) EXPECT_EQ("{\"done\":true}", parse_reply(c->read_all()).body);
  EXPECT_TRUE(stopped.get());
  EXPECT_EQ(8, entered.load());
  // Nothing listens any more.
  EXPECT_THROW(RawConnection late(port), std::runtime_error);
}

// Socket descriptors of this process whose local port is `port`.
std::vector<int> sockets_on_port(unsigned short port) {
  std::vector<int> found;
  DIR* dir = ::opendir("/proc/self/fd");
  while (dirent* entry = ::readdir(dir)) {
    const int fd = std::atoi(entry->d_name);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (entry->d_name[0] == '.' || fd == ::dirfd(dir)) continue;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 && address.sin_family == AF_INET &&
        ntohs(address.sin_port) == port) {
      found.push_back(fd);
    }
  }
  ::closedir(dir);
  return found;
}

TEST(Server, SocketsAreCloseOnExec) {
  TestServer server(HttpServerOptions{.api_key = ""});
  RawConnection idle(server.port());  // accepted, and held by a worker while it waits for bytes
  std::this_thread::sleep_for(200ms);
  const std::vector<int> fds = sockets_on_port(server.port());
  EXPECT_GE(fds.size(), 2u);  // the listener and the accepted connection
  for (int fd : fds) {
    SCOPED_TRACE(fd);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
  }
}

TEST(Server, RaisesTheSoftDescriptorLimit) {
  rlimit limit{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &limit));
  if (limit.rlim_max < 512) GTEST_SKIP() << "hard descriptor limit too low to lower the soft one";
  limit.rlim_cur = 256;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &limit));
  {
    TestServer server(HttpServerOptions{.api_key = ""});
  }
  rlimit raised{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &raised));
  EXPECT_EQ(raised.rlim_max, raised.rlim_cur);
}

TEST(Server, EngineIsServedFromItsRootsAndRouteTable) {
  TempDir web, site;
  std::ofstream(web.file("index.html")) << "<p>console</p>";
  std::ofstream(site.file("index.html")) << "<p>site</p>";
  Engine engine;
  engine.web_root = web.path();
  engine.site_root = site.path();
  HttpServerOptions options = engine_server_options(engine, 0, false);
  options.api_key = "";
  TestServer server(options, engine_routes(engine));
  EXPECT_EQ("<p>console</p>", http_exchange(server.port(), make_request("GET", "/")).body);
  EXPECT_EQ("<p>site</p>", http_exchange(server.port(), make_request("GET", "/site")).body);
  const HttpReply api = http_exchange(server.port(), make_request("GET", "/v1/health"));
  EXPECT_EQ(404, api.status);
  EXPECT_EQ("{\"ok\":false,\"error\":\"not found\"}", api.body);
}

}  // namespace
}  // namespace orvane::testing
