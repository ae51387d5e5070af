#include "json/Decoder.h"

#include <limits>

namespace json {
namespace {

std::string mismatchText(std::string_view expectedType, const Value& found) {
  return "Expected to decode " + std::string(expectedType) + " but found " +
         std::string(describe(found.type()));
}

std::string numberSourceText(const Value& value) {
  return value.isInteger() ? std::to_string(*value.exactInteger()) : numberText(value.asDouble());
}

}  // namespace

CodingPath toCodingPath(const Path& path) {
  CodingPath result;
  result.reserve(path.size());
  for (const PathStep& step : path) {
    result.push_back(step.isIndex ? CodingKey::index(step.index) : CodingKey::key(step.key));
  }
  return result;
}

std::string pathText(const Path& path) {
  return pathText(toCodingPath(path));
}

// Decoder

Path Decoder::ownedPath() const {
  Path path;
  if (base_ != nullptr) {
    path.reserve(base_->size() + 1);
    path = *base_;
  }
  if (step_) {
    path.push_back(*step_);
  }
  return path;
}

CodingPath Decoder::codingPath() const {
  return toCodingPath(ownedPath());
}

DecodingError Decoder::typeMismatch(std::string_view expectedType) const {
  return DecodingError(DecodingError::Kind::typeMismatch, codingPath(),
                       mismatchText(expectedType, *value_));
}

DecodingError Decoder::dataCorrupted(std::string debugDescription) const {
  return DecodingError(DecodingError::Kind::dataCorrupted, codingPath(),
                       std::move(debugDescription));
}

bool Decoder::decodeBool() const {
  if (!value_->isBool()) {
    throw typeMismatch("Bool");
  }
  return value_->asBool();
}

std::int64_t Decoder::decodeInt() const {
  if (!value_->isNumber()) {
    throw typeMismatch("Int");
  }
  if (auto exact = value_->exactInteger()) {
    return *exact;
  }
  throw dataCorrupted("Parsed JSON number <" + numberSourceText(*value_) +
                      "> does not fit in Int.");
}

double Decoder::decodeDouble() const {
  if (!value_->isNumber()) {
    throw typeMismatch("Double");
  }
  return value_->asDouble();
}

const std::string& Decoder::stringRef() const {
  if (!value_->isString()) {
    throw typeMismatch("String");
  }
  return value_->asString();
}

std::string Decoder::decodeString() const {
  return stringRef();
}

KeyedDecoder Decoder::keyed(std::string_view typeName) const {
  if (!value_->isObject()) {
    throw typeMismatch(typeName);
  }
  return KeyedDecoder(value_->asObject(), ownedPath());
}

UnkeyedDecoder Decoder::unkeyed(std::string_view typeName) const {
  if (!value_->isArray()) {
    throw typeMismatch(typeName);
  }
  return UnkeyedDecoder(value_->asArray(), ownedPath());
}

int Decodable<int>::decode(const Decoder& d) {
  const std::int64_t value = d.decodeInt();
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    throw d.dataCorrupted("Parsed JSON number <" + std::to_string(value) +
                          "> does not fit in Int32.");
  }
  return static_cast<int>(value);
}

// KeyedDecoder

CodingPath KeyedDecoder::codingPath() const {
  return toCodingPath(path_);
}

std::vector<std::string_view> KeyedDecoder::allKeys() const {
  std::vector<std::string_view> keys;
  keys.reserve(object_->size());
  for (const Member& member : *object_) {
    keys.emplace_back(member.first);
  }
  return keys;
}

Decoder KeyedDecoder::member(std::string_view key) const {
  for (const Member& m : *object_) {
    if (m.first == key) {
      return Decoder(m.second, &path_, PathStep{m.first});
    }
  }
  throw keyNotFound(key);
}

std::optional<Decoder> KeyedDecoder::memberIfPresent(std::string_view key) const {
  for (const Member& m : *object_) {
    if (m.first == key) {
      if (m.second.isNull()) {
        return std::nullopt;
      }
      return Decoder(m.second, &path_, PathStep{m.first});
    }
  }
  return std::nullopt;
}

KeyedDecoder KeyedDecoder::nested(std::string_view key, std::string_view typeName) const {
  return member(key).keyed(typeName);
}

UnkeyedDecoder KeyedDecoder::nestedArray(std::string_view key, std::string_view typeName) const {
  return member(key).unkeyed(typeName);
}

DecodingError KeyedDecoder::keyNotFound(std::string_view key) const {
  return DecodingError(DecodingError::Kind::keyNotFound, codingPath(),
                       "No value for key \"" + std::string(key) + "\"");
}

DecodingError KeyedDecoder::typeMismatch(std::string debugDescription) const {
  return DecodingError(DecodingError::Kind::typeMismatch, codingPath(),
                       std::move(debugDescription));
}

DecodingError KeyedDecoder::dataCorrupted(std::string debugDescription) const {
  return DecodingError(DecodingError::Kind::dataCorrupted, codingPath(),
                       std::move(debugDescription));
}

// UnkeyedDecoder

CodingPath UnkeyedDecoder::codingPath() const {
  return toCodingPath(path_);
}

Decoder UnkeyedDecoder::at(std::size_t index) const {
  return Decoder((*array_)[index], &path_, PathStep{{}, index, true});
}

KeyedDecoder UnkeyedDecoder::nested(std::size_t index, std::string_view typeName) const {
  return at(index).keyed(typeName);
}

}  // namespace json
