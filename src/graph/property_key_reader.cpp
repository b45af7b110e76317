// PropertyKeyReader (see property_key_reader.h).
#include "graph/property_key_reader.h"

#include <bit>

namespace orvane {

void PropertyKeyReader::locate(std::uint16_t group) {
  group_ = group;
  generation_ = store_->generation();
  const PropertyStore::Placement place = store_->placement(group, key_);
  column_ = place.column;
  in_records_ = place.in_records;
}

std::string_view PropertyKeyReader::text() const { return property_codec::column_string(*column_, word_); }

}  // namespace orvane

namespace orvane {

CypherValue PropertyKeyReader::value(PropertyStore::Entity entity) {
  switch (find(entity)) {
    case Found::kAbsent: return {};
    case Found::kOther: return from_property(store_->get(entity, key_));
    case Found::kWord: break;
  }
  switch (kind()) {
    case Kind::kInteger: return static_cast<std::int64_t>(word_);
    case Kind::kFloat: return std::bit_cast<double>(word_);
    case Kind::kBoolean: return word_ != 0;
    case Kind::kString: return std::string(text());
    case Kind::kDate: return Date{static_cast<std::int64_t>(word_)};
    case Kind::kLocalTime: return LocalTime{static_cast<std::int64_t>(word_)};
    case Kind::kNone: break;
  }
  return from_property(store_->get(entity, key_));
}

}  // namespace orvane
