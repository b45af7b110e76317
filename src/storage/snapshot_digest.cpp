// SHA-256 for the snapshot file, through OpenSSL's EVP interface.
//
// The digest is one full pass over a file that can be gigabytes long, on both
// the save and the load path, so its speed matters: libcrypto dispatches at
// run time to the SHA extensions, AVX2 or SSSE3 code, whichever the processor
// has. The EVP context lives behind a pointer so that the header needs no
// OpenSSL include.
#include "storage/snapshot_digest.h"

#include <openssl/evp.h>

namespace orvane {

// Owns one EVP_MD_CTX set up for SHA-256.
struct Sha256::Context {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  if (context_->ctx == nullptr || EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) != 1) {
    context_.reset();
  }
}

Sha256::~Sha256() = default;

bool Sha256::update(const void* data, std::size_t size) {
  return context_ != nullptr && EVP_DigestUpdate(context_->ctx, data, size) == 1;
}

bool Sha256::finish(Sha256Digest& out) {
  unsigned int length = 0;
  return context_ != nullptr && EVP_DigestFinal_ex(context_->ctx, out.data(), &length) == 1 &&
         length == out.size();
}

bool sha256(const void* data, std::size_t size, Sha256Digest& out) {
  unsigned int length = 0;
  return EVP_Digest(data, size, out.data(), &length, EVP_sha256(), nullptr) == 1 && length == out.size();
}

}  // namespace orvane
