// Timed: wraps an operator while a statement is profiled, adding the time
// spent in its open and next calls (its inputs' included) — so that
// operators pay for a clock only under PROFILE.
#include <chrono>

#include "query/exec/operator.h"

namespace orvane {
namespace {

class Timed final : public Operator {
 public:
  Timed(std::unique_ptr<Operator> inner, ExecContext& context)
      : Operator(inner->logical(), context), inner_(std::move(inner)) {}

  void open(const Row& argument) override {
    const auto t0 = std::chrono::steady_clock::now();
    inner_->open(argument);
    ns_ += elapsed(t0);
  }
  bool next(Row& row) override {
    const auto t0 = std::chrono::steady_clock::now();
    const bool more = inner_->next(row);
    ns_ += elapsed(t0);
    return more;
  }

  const Operator& inner() const { return *inner_; }
  std::uint64_t ns() const { return ns_; }

 private:
  static std::uint64_t elapsed(std::chrono::steady_clock::time_point t0) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count());
  }

  std::unique_ptr<Operator> inner_;
  std::uint64_t ns_ = 0;
};

}  // namespace

std::unique_ptr<Operator> make_timed(std::unique_ptr<Operator> inner, ExecContext& context) {
  return std::make_unique<Timed>(std::move(inner), context);
}

const Operator* timed_inner(const Operator& op, std::uint64_t& ns) {
  const auto* timed = dynamic_cast<const Timed*>(&op);
  if (timed == nullptr) return nullptr;
  ns = timed->ns();
  return &timed->inner();
}

}  // namespace orvane
