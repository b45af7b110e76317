// The framer is a thin adapter: RequestReader already frames incrementally,
// keeps the bytes of a pipelined request and restarts on them.
#include "http/http_framer.h"

#include "http/request_reader.h"

namespace orvane {
namespace {

class HttpFramer final : public net::Framer {
 public:
  State feed(std::string_view bytes) override {
    switch (reader_.feed(bytes)) {
      case RequestReader::State::kNeedMore: return State::kNeedMore;
      case RequestReader::State::kComplete: return State::kComplete;
      case RequestReader::State::kRejected: return State::kRejected;
    }
    return State::kRejected;
  }
  size_t buffered() const override { return reader_.buffered(); }
  bool header_complete() const override { return reader_.header_complete(); }
  std::string take_message() override { return reader_.take_request(); }
  std::string refusal() const override { return format_response(reader_.rejection(), false); }

 private:
  RequestReader reader_;
};

}  // namespace

std::unique_ptr<net::Framer> new_http_framer() { return std::make_unique<HttpFramer>(); }

}  // namespace orvane
