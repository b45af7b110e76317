// The raw client. It uses blocking sockets with poll for time limits, so a
// test that waits for the server to close without answering waits exactly
// as long as it says.
#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <thread>

namespace orvane::testing {

HttpReply parse_reply(const std::string& raw) {
  HttpReply reply{0, raw.substr(0, raw.find("\r\n")), "", "", raw};
  if (reply.status_line.size() >= 12) reply.status = std::atoi(reply.status_line.c_str() + 9);
  const size_t head_end = raw.find("\r\n\r\n");
  const std::string head = raw.substr(0, head_end), key = "\r\nContent-Type: ";
  if (const size_t at = head.find(key); at != std::string::npos) {
    reply.content_type = head.substr(at + key.size(), head.find("\r\n", at + key.size()) - at - key.size());
  }
  if (head_end != std::string::npos) reply.body = raw.substr(head_end + 4);
  return reply;
}

RawConnection::RawConnection(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) throw std::runtime_error("client socket failed");
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const sockaddr_in address{
      .sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    throw std::runtime_error("client connect failed");
  }
}

RawConnection::~RawConnection() { ::close(fd_); }

bool RawConnection::send(std::string_view bytes, size_t piece, std::chrono::milliseconds pause) {
  if (piece == 0) piece = bytes.size();
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (at > 0 && pause.count() > 0) std::this_thread::sleep_for(pause);
    const std::string_view part = bytes.substr(at, piece);
    for (size_t sent = 0; sent < part.size();) {
      const ssize_t r = ::send(fd_, part.data() + sent, part.size() - sent, MSG_NOSIGNAL);
      if (r <= 0) return false;
      sent += static_cast<size_t>(r);
    }
  }
  return true;
}

bool RawConnection::closed_within(std::chrono::milliseconds limit, std::string* received) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char chunk[65536];
  if (received != nullptr) received->append(pending_);
  pending_.clear();
  while (!closed_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    const int r = left.count() <= 0 ? 0 : ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) closed_ = true;
    if (n > 0 && received != nullptr) received->append(chunk, static_cast<size_t>(n));
  }
  return true;
}

std::string RawConnection::read_all(std::chrono::milliseconds limit) {
  std::string received;
  closed_within(limit, &received);
  return received;
}

std::string RawConnection::read_response(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The answer's length once its header is in, else npos.
  const auto answer_length = [](const std::string& bytes) {
    const size_t head_end = bytes.find("\r\n\r\n");
    if (head_end == std::string::npos) return std::string::npos;
    const std::string head = bytes.substr(0, head_end), key = "\r\nContent-Length: ";
    const size_t at = head.find(key);
    return head_end + 4 + (at == std::string::npos ? 0 : std::stoul(head.substr(at + key.size())));
  };
  char chunk[65536];
  while (!closed_ && (answer_length(pending_) == std::string::npos || pending_.size() < answer_length(pending_))) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    const int r = left.count() <= 0 ? 0 : ::poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) closed_ = true;
    if (n > 0) pending_.append(chunk, static_cast<size_t>(n));
  }
  const size_t length = std::min(answer_length(pending_), pending_.size());
  std::string answer = pending_.substr(0, length);
  pending_.erase(0, length);
  return answer;
}

std::string make_request(std::string_view method, std::string_view target, const std::vector<std::string>& headers,
                         std::string_view body, bool with_host) {
  std::string text = std::string(method) + " " + std::string(target) + " HTTP/1.1\r\n";
  if (with_host) text += "Host: 127.0.0.1\r\n";
  for (const std::string& h : headers) text += h + "\r\n";
  if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "\r\n" + std::string(body);
}

HttpReply http_exchange(unsigned short port, std::string_view request) {
  std::optional<RawConnection> connection;
  try {
    connection.emplace(port);
  } catch (const std::runtime_error&) {
    return {};
  }
  connection->send(request);
  return parse_reply(connection->read_response());
}

HttpReply http_get(unsigned short port, std::string_view target) {
  return http_exchange(port, make_request("GET", target, {"Connection: close"}));
}

HttpReply http_post(unsigned short port, std::string_view target, std::string_view body) {
  return http_exchange(port, make_request("POST", target, {"Connection: close", "Content-Type: application/json"}, body));
}

}  // namespace orvane::testing
