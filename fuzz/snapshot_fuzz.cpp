// Fuzz target: load_snapshot on arbitrary bytes.
//
// The bytes are written to an anonymous in-memory file and loaded through
// its /proc/self/fd path, so the real reader and every check run as they
// do for a file on disk. A version 4 input whose digest does not match is
// loaded a second time with the digest recomputed: without that, nearly
// every mutation would stop at the checksum and the checks behind it would
// never be reached.
//
// Findings: a crash, a sanitizer report, an allocation beyond the malloc
// limit, or an exception other than the loader's documented ones (its own
// std::runtime_error messages, the JSON library's parse_error for a
// malformed property text, and the Database's UTF-8 refusal of a name).
// Whatever loads must also save and load back to the same graph.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "storage/snapshot.h"
#include "storage/snapshot_digest.h"

namespace {

constexpr const char* kKnownMessages[] = {
    "fstat snapshot failed",
    "snapshot is not a regular, complete file",
    "mmap snapshot failed",
    "not a Halvex snapshot",
    "unsupported snapshot version",
    "snapshot truncated",
    "snapshot checksum mismatch",
    "embedding dim mismatch",
    "invalid snapshot header",
    "snapshot sizes exceed file length",
    "invalid snapshot node schema",
    "invalid snapshot relationship schema",
    "invalid snapshot node mapping",
    "invalid snapshot CSR offsets",
    "invalid snapshot relationship",
    "invalid snapshot embedding",
    "snapshot properties must be an object",
    "unexpected data after snapshot",
    "text is not valid UTF-8",  // a node name that is not UTF-8 (install_attributes)
};

[[noreturn]] void finding(const char* kind, const char* what) {
  std::fprintf(stderr, "snapshot_fuzz: %s: %s\n", kind, what);
  __builtin_trap();
}

bool known_message(std::string_view what) {
  for (const char* m : kKnownMessages) {
    if (what == m) return true;
  }
  return false;
}

// The in-memory file every input is written to, and its path.
struct InputFile {
  int fd = -1;
  std::string path;

  InputFile() {
    fd = ::memfd_create("snapshot_fuzz", 0);
    if (fd < 0) finding("setup", "memfd_create failed");
    path = "/proc/self/fd/" + std::to_string(fd);
  }
  void put(const std::uint8_t* data, std::size_t size) const {
    if (::ftruncate(fd, 0) != 0) finding("setup", "ftruncate failed");
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) finding("setup", "pwrite failed");
      done += static_cast<std::size_t>(n);
    }
  }
};

const InputFile& input_file() {
  static const InputFile file;
  return file;
}

// Where accepted inputs are saved again; tmpfs keeps the syncs cheap. The
// directory is removed when the fuzzer exits normally.
const std::string& resave_path() {
  static const std::string dir = [] {
    const char* base = std::getenv("SNAPSHOT_FUZZ_DIR");
    return std::string(base != nullptr ? base : "/dev/shm") + "/snapshot_fuzz." + std::to_string(::getpid());
  }();
  static const std::string path = [] {
    std::atexit([] { std::filesystem::remove_all(dir); });
    return dir + "/resaved.orv";
  }();
  return path;
}

template <typename T>
bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Every field a snapshot carries must survive save and load unchanged.
// Properties are compared as text: a number too large for a double parses
// as infinity and is written back as null, which is the JSON library's own
// round trip and not the snapshot's.
void check_round_trip(const orvane::Database& a) {
  orvane::save_snapshot(a, resave_path());
  const orvane::Database b = orvane::load_snapshot(resave_path());
  const orvane::PhysicalGraph &x = a.graph, &y = b.graph;
  bool same = a.node_types == b.node_types && a.rel_types == b.rel_types && a.people == b.people &&
              a.papers == b.papers && x.node_count == y.node_count && x.rel_type_count == y.rel_type_count &&
              same_bytes(x.labels, y.labels) && same_bytes(x.to_physical, y.to_physical) &&
              same_bytes(x.to_logical, y.to_logical) && same_bytes(x.out_offsets, y.out_offsets) &&
              same_bytes(x.out_targets, y.out_targets) && same_bytes(x.out_types, y.out_types) &&
              same_bytes(x.in_offsets, y.in_offsets) && same_bytes(x.in_sources, y.in_sources) &&
              same_bytes(x.in_types, y.in_types) && a.names == b.names && same_bytes(a.topics, b.topics) &&
              same_bytes(a.embeddings, b.embeddings);
  for (std::uint32_t i = 0; same && i < x.node_count; ++i) {
    same = a.node_properties(i).dump() == b.node_properties(i).dump();
  }
  if (!same) finding("round trip", "a loaded snapshot did not save and load back to the same graph");
}

void load_once(const std::uint8_t* data, std::size_t size) {
  const InputFile& file = input_file();
  file.put(data, size);
  orvane::Database db;
  try {
    db = orvane::load_snapshot(file.path);
  } catch (const nlohmann::json::parse_error&) {
    return;  // a malformed property text: the JSON library's error is the contract
  } catch (const std::runtime_error& e) {
    if (!known_message(e.what())) finding("unexpected message", e.what());
    return;
  } catch (const std::bad_alloc&) {
    finding("allocation failure", "std::bad_alloc");
  } catch (const std::exception& e) {
    finding("unexpected exception", e.what());
  } catch (...) {
    finding("unexpected exception", "not a std::exception");
  }
  try {
    check_round_trip(db);
  } catch (const std::exception& e) {
    finding("round trip", e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  load_once(data, size);

  // Magic, then version 4, then at least a header and a digest: give the
  // mutated body a correct digest so the loader parses it.
  constexpr std::size_t kDigest = 32, kMinimum = 80;
  static const std::uint8_t kVersion4[12] = {'O', 'R', 'V', 'S', 'N', 'A', 'P', '2', 4, 0, 0, 0};
  if (size < kMinimum || std::memcmp(data, kVersion4, sizeof kVersion4) != 0) return 0;
  orvane::Sha256Digest digest;
  if (!orvane::sha256(data, size - kDigest, digest)) finding("setup", "sha256 failed");
  if (std::memcmp(digest.data(), data + size - kDigest, kDigest) == 0) return 0;
  std::vector<std::uint8_t> fixed(data, data + size);
  std::memcpy(fixed.data() + size - kDigest, digest.data(), kDigest);
  load_once(fixed.data(), fixed.size());
  return 0;
}
