// The calling thread's installed progress (transfer_progress.h).
#include "io/transfer_progress.h"

namespace orvane {
namespace {

thread_local TransferProgress* installed = nullptr;

}  // namespace

TransferProgress* current_progress() { return installed; }

ProgressScope::ProgressScope(TransferProgress* progress) : previous_(installed) { installed = progress; }

ProgressScope::~ProgressScope() { installed = previous_; }

}  // namespace orvane
