#include "shared/plist/Plist.h"

namespace plist {

const Value& none() {
  static const Value kNone;
  return kNone;
}

Type Value::type() const {
  switch (v_.index()) {
    case 1:
      return Type::Boolean;
    case 2:
      return Type::Integer;
    case 3:
      return Type::Real;
    case 4:
      return Type::String;
    case 5:
      return Type::Data;
    case 6:
      return Type::Date;
    case 7:
      return Type::Array;
    case 8:
      return Type::Dict;
    default:
      return Type::None;
  }
}

std::optional<bool> Value::boolean() const {
  if (auto* b = std::get_if<bool>(&v_)) return *b;
  return std::nullopt;
}

std::optional<int64_t> Value::integer() const {
  if (auto* i = std::get_if<int64_t>(&v_)) return *i;
  return std::nullopt;
}

std::optional<double> Value::number() const {
  if (auto* i = std::get_if<int64_t>(&v_)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v_)) return *d;
  return std::nullopt;
}

const std::string* Value::string() const {
  return std::get_if<std::string>(&v_);
}

const Bytes* Value::data() const {
  auto* p = std::get_if<std::shared_ptr<const Bytes>>(&v_);
  return p ? p->get() : nullptr;
}

std::optional<Date> Value::date() const {
  if (auto* d = std::get_if<Date>(&v_)) return *d;
  return std::nullopt;
}

const Array* Value::array() const {
  auto* p = std::get_if<std::shared_ptr<const Array>>(&v_);
  return p ? p->get() : nullptr;
}

const Dict* Value::dict() const {
  auto* p = std::get_if<std::shared_ptr<const Dict>>(&v_);
  return p ? p->get() : nullptr;
}

const Value& Value::operator[](std::string_view key) const {
  const Dict* d = dict();
  if (!d) return none();
  auto it = d->find(key);
  return it == d->end() ? none() : it->second;
}

const Value& Value::operator[](size_t index) const {
  const Array* a = array();
  if (!a || index >= a->size()) return none();
  return (*a)[index];
}

size_t Value::size() const {
  if (const Array* a = array()) return a->size();
  if (const Dict* d = dict()) return d->size();
  return 0;
}

bool Value::operator==(const Value& other) const {
  if (type() != other.type()) return false;
  switch (type()) {
    case Type::None:
      return true;
    case Type::Data:
      return *data() == *other.data();
    case Type::Array:
      return *array() == *other.array();
    case Type::Dict:
      return *dict() == *other.dict();
    default:
      return v_ == other.v_;
  }
}

}  // namespace plist
