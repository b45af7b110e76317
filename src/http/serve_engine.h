// The server of one Engine: the engine's web and site roots, the API key
// from the environment and the engine's route table, handed to the HTTP
// core. The serve command calls serve_engine from its main thread, which
// becomes the accept loop.
#pragma once

#include <atomic>

#include "http/server.h"

namespace orvane {

class Engine;

// The server settings for `engine` on `port` (0: any free port), bound to
// every interface when `public_binding` is set, else to 127.0.0.1.
HttpServerOptions engine_server_options(const Engine& engine, unsigned short port, bool public_binding);

// The route table over `engine`, which must outlive every call. The server
// calls it with the engine mutex held.
RouteHandler engine_routes(Engine& engine);

// Serves `engine` until `*stop` becomes true (until the process ends when
// `stop` is null), then drains the accepted connections and returns. Throws
// std::runtime_error before listening when the server cannot start: a
// public binding or a set ORVANE_API_KEY without a key of at least 32
// characters, "socket failed", "bind failed on port <port>".
void serve_engine(Engine& engine, unsigned short port, std::atomic<bool>* stop, bool public_binding);

}  // namespace orvane
