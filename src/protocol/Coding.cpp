#include "protocol/Coding.h"

#include <array>
#include <utility>

#include "json/Decoder.h"
#include "protocol/CaseNames.h"
#include "protocol/Feed.h"
#include "protocol/Fields.h"

namespace kestrune {
namespace coding {
namespace {

constexpr std::string_view keyCountRule = "Invalid number of keys found, expected one.";

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

template <class T>
concept Record = requires {
  Fields<T>::name;
};

// Encoding

json::Value encodeValue(const CLIResponseData& data);

template <class T>
json::Value encodeFields(const T& value);

template <class T>
json::Value encodeValue(const T& value) {
  if constexpr (std::is_enum_v<T>) {
    return json::Value(rawValue(value));
  } else if constexpr (IsVector<T>::value) {
    json::Array array;
    array.reserve(value.size());
    for (const auto& element : value) {
      array.push_back(encodeValue(element));
    }
    return json::Value(std::move(array));
  } else if constexpr (Record<T>) {
    return encodeFields(value);
  } else {
    return json::Value(value);
  }
}

template <class T>
json::Value encodeFields(const T& value) {
  json::Object object;
  std::apply(
      [&](const auto&... fields) {
        object.reserve(sizeof...(fields));
        [[maybe_unused]] auto add = [&](const auto& f) {
          const auto& member = value.*(f.member);
          using M = std::remove_cvref_t<decltype(member)>;
          if constexpr (IsOptional<M>::value) {
            // Absent optional members are left out, never written as null.
            if (member) {
              object.set(std::string(f.key), encodeValue(*member));
            }
          } else {
            object.set(std::string(f.key), encodeValue(member));
          }
        };
        (add(fields), ...);
      },
      Fields<T>::list);
  return json::Value(std::move(object));
}

// A tagged union: one member named after the case holding the case's object.
template <class Union, std::size_t N>
json::Value encodeTagged(const Union& u, const std::array<std::string_view, N>& names) {
  json::Object object;
  std::visit(
      [&](const auto& c) { object.set(std::string(names[u.value.index()]), encodeFields(c)); },
      u.value);
  return json::Value(std::move(object));
}

json::Value encodeValue(const CLIResponseData& data) {
  return encodeTagged(data, responseCaseNames);
}

// Decoding

template <class T>
T decodeFields(const json::KeyedDecoder& container);

template <class Union, std::size_t N>
Union decodeTagged(const json::Decoder& d, std::string_view typeName,
                   const std::array<std::string_view, N>& names);

template <class E, class FromRaw>
E decodeEnum(const json::Decoder& d, std::string_view typeName, FromRaw fromRaw) {
  const std::string& raw = d.stringRef();
  if (auto value = fromRaw(raw)) {
    return *value;
  }
  throw d.dataCorrupted("Cannot initialize " + std::string(typeName) +
                        " from invalid String value \"" + raw + "\"");
}

template <class T>
T decodeValue(const json::Decoder& d) {
  if constexpr (std::is_same_v<T, VolumeDirection>) {
    return decodeEnum<T>(d, "VolumeDirection", volumeDirectionFromRaw);
  } else if constexpr (std::is_same_v<T, MuteAction>) {
    return decodeEnum<T>(d, "MuteAction", muteActionFromRaw);
  } else if constexpr (std::is_same_v<T, AudioDirection>) {
    return decodeEnum<T>(d, "AudioDirection", audioDirectionFromRaw);
  } else if constexpr (std::is_same_v<T, CLIResponseData>) {
    return decodeTagged<CLIResponseData>(d, "CLIResponseData", responseCaseNames);
  } else if constexpr (IsVector<T>::value) {
    const json::UnkeyedDecoder elements = d.unkeyed();
    T result;
    result.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
      result.push_back(decodeValue<typename T::value_type>(elements.at(i)));
    }
    return result;
  } else if constexpr (Record<T>) {
    return decodeFields<T>(d.keyed(Fields<T>::name));
  } else {
    return d.decode<T>();
  }
}

template <class T>
T decodeFields(const json::KeyedDecoder& container) {
  T result{};
  std::apply(
      [&](const auto&... fields) {
        [[maybe_unused]] auto read = [&](const auto& f) {
          auto& member = result.*(f.member);
          using M = std::remove_cvref_t<decltype(member)>;
          if constexpr (IsOptional<M>::value) {
            // Missing and null both mean absent.
            if (auto present = container.memberIfPresent(f.key)) {
              member = decodeValue<typename M::value_type>(*present);
            }
          } else {
            member = decodeValue<M>(container.member(f.key));
          }
        };
        (read(fields), ...);
      },
      Fields<T>::list);
  return result;
}

template <class Union, std::size_t I>
Union decodeCase(const json::Decoder& d) {
  using Case = std::variant_alternative_t<I, typename Union::Case>;
  // Even a case without members must be an object.
  return Union{typename Union::Case(std::in_place_index<I>, decodeFields<Case>(d.keyed()))};
}

template <class Union, std::size_t... I>
constexpr auto caseDecoders(std::index_sequence<I...>) {
  return std::array<Union (*)(const json::Decoder&), sizeof...(I)>{&decodeCase<Union, I>...};
}

template <class Union, std::size_t N>
Union decodeTagged(const json::Decoder& d, std::string_view typeName,
                   const std::array<std::string_view, N>& names) {
  const json::KeyedDecoder container = d.keyed(typeName);
  // Only members named after a case count; others are ignored.
  std::size_t count = 0;
  std::size_t index = 0;
  const json::Member* chosen = nullptr;
  for (const json::Member& member : container.object()) {
    if (auto i = caseIndex(names, member.first)) {
      ++count;
      index = *i;
      chosen = &member;
    }
  }
  if (count != 1) {
    throw container.typeMismatch(std::string(keyCountRule));
  }
  static constexpr auto decoders = caseDecoders<Union>(std::make_index_sequence<N>());
  return decoders[index](
      json::Decoder(chosen->second, &container.path(), json::PathStep{chosen->first}));
}

template <class T>
T decodeText(std::string_view text, T (*decode)(const json::Value&)) {
  json::Value value;
  try {
    value = json::parse(text);
  } catch (const json::ParseError& error) {
    throw json::DecodingError::fromParseError(error);
  }
  return decode(value);
}

}  // namespace
}  // namespace coding

json::Value toJSON(const CLICommand& command) {
  return coding::encodeTagged(command, commandCaseNames);
}

json::Value toJSON(const CLIResponse& response) {
  return coding::encodeFields(response);
}

CLICommand decodeCLICommand(const json::Value& value) {
  return coding::decodeTagged<CLICommand>(json::Decoder(value), "CLICommand", commandCaseNames);
}

CLIResponse decodeCLIResponse(const json::Value& value) {
  return coding::decodeValue<CLIResponse>(json::Decoder(value));
}

CLICommand decodeCLICommand(std::string_view jsonText) {
  return coding::decodeText<CLICommand>(jsonText, &decodeCLICommand);
}

CLIResponse decodeCLIResponse(std::string_view jsonText) {
  return coding::decodeText<CLIResponse>(jsonText, &decodeCLIResponse);
}

CLICommand decodeCLICommand(const std::string& jsonText) {
  return decodeCLICommand(std::string_view(jsonText));
}

CLICommand decodeCLICommand(const char* jsonText) {
  return decodeCLICommand(std::string_view(jsonText));
}

CLIResponse decodeCLIResponse(const std::string& jsonText) {
  return decodeCLIResponse(std::string_view(jsonText));
}

CLIResponse decodeCLIResponse(const char* jsonText) {
  return decodeCLIResponse(std::string_view(jsonText));
}

json::Value toJSON(const CLIStatusInfo& status) {
  return coding::encodeFields(status);
}
json::Value toJSON(const CLIDeviceInfo& device) {
  return coding::encodeFields(device);
}
json::Value toJSON(const CLIAppInfo& app) {
  return coding::encodeFields(app);
}
json::Value toJSON(const CLIMediaInfo& media) {
  return coding::encodeFields(media);
}
json::Value toJSON(const CLIBluetoothInfo& device) {
  return coding::encodeFields(device);
}

template <class Record>
Record decodeRecord(const json::Decoder& decoder) {
  return coding::decodeValue<Record>(decoder);
}
template CLIStatusInfo decodeRecord<CLIStatusInfo>(const json::Decoder&);
template CLIDeviceInfo decodeRecord<CLIDeviceInfo>(const json::Decoder&);
template CLIAppInfo decodeRecord<CLIAppInfo>(const json::Decoder&);
template CLIMediaInfo decodeRecord<CLIMediaInfo>(const json::Decoder&);
template CLIBluetoothInfo decodeRecord<CLIBluetoothInfo>(const json::Decoder&);
template std::vector<CLIDeviceInfo> decodeRecord<std::vector<CLIDeviceInfo>>(const json::Decoder&);
template std::vector<CLIAppInfo> decodeRecord<std::vector<CLIAppInfo>>(const json::Decoder&);
template std::vector<CLIBluetoothInfo> decodeRecord<std::vector<CLIBluetoothInfo>>(
    const json::Decoder&);

std::string encodeCompact(const CLICommand& command) {
  return json::writeCompact(toJSON(command));
}

std::string encodeCompact(const CLIResponse& response) {
  return json::writeCompact(toJSON(response));
}

std::string encodePrettySorted(const CLIResponse& response) {
  return json::writePretty(toJSON(response));
}

}  // namespace kestrune
