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

PropertyKeyReader::Found PropertyKeyReader::find(PropertyStore::Entity entity) {
  if (key_ == kNoPropertyKey) return Found::kAbsent;
  const std::uint16_t group = store_->group_of(entity);
  if (group != group_ || store_->generation() != generation_) locate(group);
  if (column_ != nullptr) {
    const std::uint64_t row = store_->row_of(entity);
    if (property_codec::column_has(*column_, row)) {
      word_ = column_->kind == Kind::kBoolean ? column_->words[row >> 6] >> (row & 63) & 1 : column_->words[row];
      return Found::kWord;
    }
  }
  return in_records_ ? Found::kOther : Found::kAbsent;
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
