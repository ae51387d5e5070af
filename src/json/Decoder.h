#pragma once
// Typed reading of a json::Value with coding paths, failing with
// json::DecodingError (type mismatch, missing key, corrupted data).
//
//   json::Value root = json::parse(text);
//   json::KeyedDecoder top = json::Decoder(root).keyed("ToolInfoV0");
//   auto version = top.decode<std::int64_t>("serializationVersion");
//   auto abstract = top.decodeIfPresent<std::string>("abstract");  // missing or null: nullopt
//   json::KeyedDecoder command = top.nested("command");
//   json::UnkeyedDecoder args = command.nestedArray("arguments");
//   for (std::size_t i = 0; i < args.size(); ++i) {
//     json::KeyedDecoder arg = args.nested(i);
//     ...
//   }
//
// Supported by decode<T>: bool, std::int64_t (rejects 3.5 and values outside
// the signed 64-bit range), int (likewise for its range), double (any
// number), std::string, json::Value (a copy of the raw value), std::vector<T>
// of any supported T, and any type with a specialisation of json::Decodable.
//
// KeyedDecoder and UnkeyedDecoder own their coding path and may be stored, but
// like every view they must not outlive the Value they read. A Decoder is a
// transient view of one value: it must not outlive the KeyedDecoder or
// UnkeyedDecoder that handed it out.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/Errors.h"
#include "json/Value.h"

namespace json {

// One step of a path that refers to keys stored elsewhere (in the Value being
// read, or a key named by the caller for the duration of a call).
struct PathStep {
  std::string_view key;
  std::size_t index = 0;
  bool isIndex = false;
};
using Path = std::vector<PathStep>;

class KeyedDecoder;
class UnkeyedDecoder;

// Specialise to make a type decodable with decode<T>():
//   template <> struct json::Decodable<Point> {
//     static Point decode(const json::Decoder& d) {
//       auto k = d.keyed("Point");
//       return {k.decode<double>("x"), k.decode<double>("y")};
//     }
//   };
template <class T>
struct Decodable;

class Decoder {
 public:
  // The root of a document.
  explicit Decoder(const Value& value) noexcept : value_(&value) {}
  // A value at base + step (base may be null for the root).
  Decoder(const Value& value, const Path* base, std::optional<PathStep> step) noexcept
      : value_(&value), base_(base), step_(step) {}

  const Value& value() const noexcept { return *value_; }
  bool isNull() const noexcept { return value_->isNull(); }
  CodingPath codingPath() const;

  bool decodeBool() const;
  std::int64_t decodeInt() const;
  double decodeDouble() const;
  std::string decodeString() const;
  const std::string& stringRef() const;  // like decodeString, without a copy

  // The value as an object / array; a type mismatch naming `typeName` otherwise.
  KeyedDecoder keyed(std::string_view typeName = "Object") const;
  UnkeyedDecoder unkeyed(std::string_view typeName = "Array") const;

  template <class T>
  T decode() const {
    return Decodable<T>::decode(*this);
  }

  // Errors located at this value.
  DecodingError typeMismatch(std::string_view expectedType) const;
  DecodingError dataCorrupted(std::string debugDescription) const;

 private:
  Path ownedPath() const;

  const Value* value_;
  const Path* base_ = nullptr;
  std::optional<PathStep> step_;
};

class KeyedDecoder {
 public:
  KeyedDecoder(const Object& object, Path path) noexcept
      : object_(&object), path_(std::move(path)) {}

  const Object& object() const noexcept { return *object_; }
  const Path& path() const noexcept { return path_; }
  CodingPath codingPath() const;

  bool contains(std::string_view key) const noexcept { return object_->contains(key); }
  // Every member name, in document order.
  std::vector<std::string_view> allKeys() const;

  // The member's value; a missing-key error when absent.
  Decoder member(std::string_view key) const;
  // The member's value unless it is missing or null.
  std::optional<Decoder> memberIfPresent(std::string_view key) const;

  template <class T>
  T decode(std::string_view key) const {
    return member(key).decode<T>();
  }
  template <class T>
  std::optional<T> decodeIfPresent(std::string_view key) const {
    if (auto m = memberIfPresent(key)) {
      return m->decode<T>();
    }
    return std::nullopt;
  }

  KeyedDecoder nested(std::string_view key, std::string_view typeName = "Object") const;
  UnkeyedDecoder nestedArray(std::string_view key, std::string_view typeName = "Array") const;

  DecodingError keyNotFound(std::string_view key) const;
  // Errors located at this container; the key-count rule of tagged unions
  // uses typeMismatch with its fixed description.
  DecodingError typeMismatch(std::string debugDescription) const;
  DecodingError dataCorrupted(std::string debugDescription) const;

 private:
  const Object* object_;
  Path path_;
};

class UnkeyedDecoder {
 public:
  UnkeyedDecoder(const Array& array, Path path) noexcept : array_(&array), path_(std::move(path)) {}

  std::size_t size() const noexcept { return array_->size(); }
  bool empty() const noexcept { return array_->empty(); }
  const Path& path() const noexcept { return path_; }
  CodingPath codingPath() const;

  Decoder at(std::size_t index) const;  // index < size()
  KeyedDecoder nested(std::size_t index, std::string_view typeName = "Object") const;

  template <class T>
  T decode(std::size_t index) const {
    return at(index).decode<T>();
  }
  template <class T>
  std::vector<T> decodeAll() const {
    std::vector<T> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) {
      result.push_back(decode<T>(i));
    }
    return result;
  }

 private:
  const Array* array_;
  Path path_;
};

template <>
struct Decodable<bool> {
  static bool decode(const Decoder& d) { return d.decodeBool(); }
};
template <>
struct Decodable<std::int64_t> {
  static std::int64_t decode(const Decoder& d) { return d.decodeInt(); }
};
template <>
struct Decodable<int> {
  static int decode(const Decoder& d);
};
template <>
struct Decodable<double> {
  static double decode(const Decoder& d) { return d.decodeDouble(); }
};
template <>
struct Decodable<std::string> {
  static std::string decode(const Decoder& d) { return d.decodeString(); }
};
template <>
struct Decodable<Value> {
  static Value decode(const Decoder& d) { return d.value(); }
};
template <class T>
struct Decodable<std::vector<T>> {
  static std::vector<T> decode(const Decoder& d) { return d.unkeyed().template decodeAll<T>(); }
};

// The coding path as text: "(root).data.devices[1].uid".
std::string pathText(const Path& path);
CodingPath toCodingPath(const Path& path);

}  // namespace json
