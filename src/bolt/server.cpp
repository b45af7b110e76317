// The Bolt listener (server.h): a net::Session per connection that owns
// the connection's backend and protocol state.
#include "bolt/server.h"

#include <atomic>
#include <memory>

#include "bolt/connection.h"
#include "bolt/engine_backend.h"
#include "bolt/framer.h"
#include "console/engine.h"
#include "net/listener.h"

namespace orvane::bolt {
namespace {

class BoltNetSession : public net::Session {
 public:
  BoltNetSession(Engine& engine, EngineBackendOptions backend, SessionOptions session)
      : backend_(engine, std::move(backend)), connection_(backend_, std::move(session)) {}

  net::Reply handle(std::string message) override { return reply(connection_.receive(message)); }
  net::Reply resume() override { return reply(connection_.resume()); }

 private:
  net::Reply reply(std::string bytes) {
    return net::Reply{std::move(bytes), connection_.closed(), connection_.pending()};
  }

  EngineBackend backend_;       // before the connection, which uses it until its end
  BoltConnection connection_;
};

std::string connection_id() {
  static std::atomic<std::uint64_t> next{0};
  return "bolt-" + std::to_string(next.fetch_add(1));
}

}  // namespace

BoltServerOptions bolt_server_options(int listener, int workers, const std::string& api_key) {
  BoltServerOptions options;
  options.loop.listener = listener;
  options.loop.workers = workers;
  options.api_key = api_key;
  return options;
}

void serve_bolt(Engine& engine, BoltServerOptions options, std::atomic<bool>* stop) {
  net::LoopOptions loop = options.loop;
  loop.idle_timeout = options.idle_timeout;
  // The address routing tables name when the driver does not say its own.
  const unsigned short port = loop.listener >= 0 ? net::bound_port(loop.listener) : loop.port;
  EngineBackendOptions backend{options.api_key, "127.0.0.1:" + std::to_string(port)};
  const std::int64_t idle_seconds = options.idle_timeout.count();
  net::Protocol protocol;
  protocol.new_framer = [] { return std::make_unique<BoltFramer>(); };
  protocol.new_session = [&engine, backend, idle_seconds]() -> std::shared_ptr<net::Session> {
    SessionOptions session;
    session.connection_id = connection_id();
    session.idle_seconds = idle_seconds;
    return std::make_shared<BoltNetSession>(engine, backend, std::move(session));
  };
  // A Bolt client is told nothing before it has shaken hands: a refused
  // connection is closed.
  protocol.overloaded = "";
  protocol.too_many = "";
  net::serve_connections(loop, protocol, stop);
}

}  // namespace orvane::bolt
