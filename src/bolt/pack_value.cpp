// Accessors and the debug rendering of PackStream values.
#include "bolt/pack_value.h"

#include <cstdio>

#include "graph/temporal.h"

namespace orvane::bolt {

PackValue::PackValue(bool v) : storage_(v) {}
PackValue::PackValue(std::int64_t v) : storage_(v) {}
PackValue::PackValue(int v) : storage_(std::int64_t{v}) {}
PackValue::PackValue(double v) : storage_(v) {}
PackValue::PackValue(std::string v) : storage_(std::move(v)) {}
PackValue::PackValue(const char* v) : storage_(std::string(v)) {}
PackValue::PackValue(Bytes v) : storage_(std::move(v)) {}
PackValue::PackValue(PackList v) : storage_(std::move(v)) {}
PackValue::PackValue(PackMap v) : storage_(std::move(v)) {}
PackValue::PackValue(PackStruct v) : storage_(std::move(v)) {}

bool operator==(const PackValue& a, const PackValue& b) { return a.storage_ == b.storage_; }

const PackValue* PackValue::find(std::string_view key) const {
  for (const PackEntry& entry : as<PackMap>()) {
    if (entry.key == key) return &entry.value;
  }
  return nullptr;
}

const char* pack_type_name(const PackValue& value) {
  switch (value.kind()) {
    case PackValue::Kind::kNull: return "Null";
    case PackValue::Kind::kBool: return "Boolean";
    case PackValue::Kind::kInteger: return "Integer";
    case PackValue::Kind::kFloat: return "Float";
    case PackValue::Kind::kString: return "String";
    case PackValue::Kind::kBytes: return "Bytes";
    case PackValue::Kind::kList: return "List";
    case PackValue::Kind::kMap: return "Map";
    case PackValue::Kind::kStruct: return "Structure";
  }
  return "Unknown";
}

std::string to_debug_text(const PackValue& value) {
  switch (value.kind()) {
    case PackValue::Kind::kNull: return "null";
    case PackValue::Kind::kBool: return value.as<bool>() ? "true" : "false";
    case PackValue::Kind::kInteger: return std::to_string(value.as<std::int64_t>());
    case PackValue::Kind::kFloat: return shortest_double(value.as<double>());
    case PackValue::Kind::kString: return "\"" + value.as<std::string>() + "\"";
    case PackValue::Kind::kBytes: {
      std::string out = "#";
      char hex[3];
      for (const char c : value.as<Bytes>().data) {
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        out += hex;
      }
      return out;
    }
    case PackValue::Kind::kList: {
      std::string out = "[";
      for (const PackValue& item : value.as<PackList>()) {
        if (out.size() > 1) out += ", ";
        out += to_debug_text(item);
      }
      return out + "]";
    }
    case PackValue::Kind::kMap: {
      std::string out = "{";
      for (const PackEntry& entry : value.as<PackMap>()) {
        if (out.size() > 1) out += ", ";
        out += entry.key + ": " + to_debug_text(entry.value);
      }
      return out + "}";
    }
    case PackValue::Kind::kStruct: {
      const PackStruct& s = value.as<PackStruct>();
      char tag[8];
      std::snprintf(tag, sizeof tag, "0x%02X", s.tag);
      std::string out = std::string("Struct<") + tag + ">(";
      for (std::size_t i = 0; i < s.fields.size(); ++i) {
        if (i > 0) out += ", ";
        out += to_debug_text(s.fields[i]);
      }
      return out + ")";
    }
  }
  return "?";
}

}  // namespace orvane::bolt
