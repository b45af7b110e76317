// The listening socket and the descriptor budget of a server process.
#pragma once

namespace orvane::net {

// Raises the soft descriptor limit to the hard one. Best effort: a server
// runs at the old limit too, only with fewer connections.
void raise_descriptor_limit();

// A non-blocking, close-on-exec TCP listener on `port` (0: any free port) of
// 127.0.0.1, or of every interface when `public_binding`. Throws
// std::runtime_error "socket failed" or "bind failed on port <port>".
int open_listener(unsigned short port, bool public_binding);

// The port the listener `fd` is bound to.
unsigned short bound_port(int fd);

}  // namespace orvane::net
