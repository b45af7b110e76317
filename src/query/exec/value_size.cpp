// value_heap_bytes: a walk over the value's storage. Strings are measured
// by where their characters live, so a short string held in the string
// object itself (the library's small-string buffer) costs nothing extra,
// whatever the library's buffer size.
#include "query/exec/value_size.h"

#include <string>
#include <variant>

namespace orvane {
namespace {

// A block made by make_shared: the object and the reference counts.
constexpr std::uint64_t kSharedBlockBytes = 16;

std::uint64_t string_heap_bytes(const std::string& s) {
  const char* data = s.data();
  const auto* self = reinterpret_cast<const char*>(&s);
  if (data >= self && data < self + sizeof(std::string)) return 0;
  return s.capacity() + 1;
}

template <typename T>
std::uint64_t vector_heap_bytes(const std::vector<T>& v) {
  return static_cast<std::uint64_t>(v.capacity()) * sizeof(T);
}

struct HeapBytes {
  std::uint64_t operator()(const std::string& s) const { return string_heap_bytes(s); }
  std::uint64_t operator()(const Bytes& b) const { return string_heap_bytes(b.data); }
  std::uint64_t operator()(const DateTime& t) const { return string_heap_bytes(t.zone); }
  std::uint64_t operator()(const std::shared_ptr<const CypherList>& list) const {
    std::uint64_t bytes = kSharedBlockBytes + sizeof(CypherList) + vector_heap_bytes(*list);
    for (const CypherValue& v : *list) bytes += value_heap_bytes(v);
    return bytes;
  }
  std::uint64_t operator()(const std::shared_ptr<const CypherMap>& map) const {
    std::uint64_t bytes = kSharedBlockBytes + sizeof(CypherMap) + vector_heap_bytes(*map);
    for (const auto& [key, v] : *map) bytes += string_heap_bytes(key) + value_heap_bytes(v);
    return bytes;
  }
  std::uint64_t operator()(const std::shared_ptr<const PathValue>& path) const {
    return kSharedBlockBytes + sizeof(PathValue) + vector_heap_bytes(path->nodes) + vector_heap_bytes(path->rels);
  }
  // Everything else is held in the value itself.
  template <typename T>
  std::uint64_t operator()(const T&) const {
    return 0;
  }
};

}  // namespace

std::uint64_t value_heap_bytes(const CypherValue& value) {
  // Scalars first: most kept values are numbers and references.
  switch (value.kind()) {
    case CypherValue::Kind::kNull:
    case CypherValue::Kind::kBool:
    case CypherValue::Kind::kInteger:
    case CypherValue::Kind::kFloat:
    case CypherValue::Kind::kNode:
    case CypherValue::Kind::kRelationship: return 0;
    default: return std::visit(HeapBytes{}, value.storage());
  }
}

std::uint64_t values_bytes(const std::vector<CypherValue>& values) {
  std::uint64_t bytes = sizeof(std::vector<CypherValue>) + vector_heap_bytes(values);
  for (const CypherValue& v : values) bytes += value_heap_bytes(v);
  return bytes;
}

}  // namespace orvane
