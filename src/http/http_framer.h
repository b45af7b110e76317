// HTTP as the connection loop sees it: a framer over RequestReader, so that
// the loop hands the workers only complete requests.
#pragma once

#include <memory>

#include "net/framer.h"

namespace orvane {

// A framer for one HTTP connection. Messages are the bytes of one complete
// request (parse_request splits them); a refusal is RequestReader's
// rejection formatted with "Connection: close".
std::unique_ptr<net::Framer> new_http_framer();

}  // namespace orvane
