#include "daemon/dbus/Message.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace kestrune::daemon::dbus {

namespace {

std::string text(const char* value) {
  return value == nullptr ? std::string() : std::string(value);
}

Error malformed(int code) {
  return errorFromErrno(code, "Cannot read a D-Bus message");
}

Result<Value> readValue(sd_bus_message* message);

template <class Raw, class Stored>
Result<Value> readAs(sd_bus_message* message, char type) {
  Raw value{};
  const int r = sd_bus_message_read_basic(message, type, &value);
  if (r < 0) {
    return malformed(r);
  }
  if constexpr (std::is_same_v<Stored, bool>) {
    return Value(value != 0);
  } else {
    return Value(static_cast<Stored>(value));
  }
}

Result<Value> readText(sd_bus_message* message, char type) {
  const char* value = nullptr;
  const int r = sd_bus_message_read_basic(message, type, &value);
  if (r < 0) {
    return malformed(r);
  }
  return Value(text(value));
}

Result<Value> readBasic(sd_bus_message* message, char type) {
  switch (type) {
    case SD_BUS_TYPE_BOOLEAN:
      return readAs<int, bool>(message, type);
    case SD_BUS_TYPE_BYTE:
      return readAs<std::uint8_t, std::uint64_t>(message, type);
    case SD_BUS_TYPE_INT16:
      return readAs<std::int16_t, std::int64_t>(message, type);
    case SD_BUS_TYPE_UINT16:
      return readAs<std::uint16_t, std::uint64_t>(message, type);
    case SD_BUS_TYPE_INT32:
    case SD_BUS_TYPE_UNIX_FD:
      return readAs<std::int32_t, std::int64_t>(message, type);
    case SD_BUS_TYPE_UINT32:
      return readAs<std::uint32_t, std::uint64_t>(message, type);
    case SD_BUS_TYPE_INT64:
      return readAs<std::int64_t, std::int64_t>(message, type);
    case SD_BUS_TYPE_UINT64:
      return readAs<std::uint64_t, std::uint64_t>(message, type);
    case SD_BUS_TYPE_DOUBLE:
      return readAs<double, double>(message, type);
    case SD_BUS_TYPE_STRING:
    case SD_BUS_TYPE_OBJECT_PATH:
    case SD_BUS_TYPE_SIGNATURE:
      return readText(message, type);
    default:
      return malformed(-EBADMSG);
  }
}

// Reads the elements of the container just entered, until its end.
Result<Value::Array> readElements(sd_bus_message* message) {
  Value::Array elements;
  for (;;) {
    const int r = sd_bus_message_at_end(message, 0);
    if (r < 0) {
      return malformed(r);
    }
    if (r > 0) {
      return elements;
    }
    auto element = readValue(message);
    if (!element) {
      return element.error();
    }
    elements.push_back(std::move(element).value());
  }
}

Result<Value::Dict> readDictEntries(sd_bus_message* message, const char* entrySignature) {
  Value::Dict entries;
  for (;;) {
    const int r = sd_bus_message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, entrySignature);
    if (r < 0) {
      return malformed(r);
    }
    if (r == 0) {
      return entries;
    }
    auto key = readValue(message);
    if (!key) {
      return key.error();
    }
    auto value = readValue(message);
    if (!value) {
      return value.error();
    }
    const int exited = sd_bus_message_exit_container(message);
    if (exited < 0) {
      return malformed(exited);
    }
    std::string name;
    if (auto keyText = key->string()) {
      name = std::move(*keyText);
    } else if (auto keyNumber = key->integer()) {
      name = std::to_string(*keyNumber);
    }
    entries.insert_or_assign(std::move(name), std::move(value).value());
  }
}

// The signature of a dict entry's contents, "{sv}" -> "sv".
std::string entryContents(const char* contents) {
  std::string signature(contents);
  if (signature.size() >= 2) {
    return signature.substr(1, signature.size() - 2);
  }
  return signature;
}

Result<Value> readContainer(sd_bus_message* message, char type, const char* contents) {
  int r = sd_bus_message_enter_container(message, type, contents);
  if (r <= 0) {
    return malformed(r < 0 ? r : -EBADMSG);
  }
  Result<Value> result = Value();
  if (type == SD_BUS_TYPE_ARRAY && contents != nullptr &&
      contents[0] == SD_BUS_TYPE_DICT_ENTRY_BEGIN) {
    const std::string entry = entryContents(contents);
    auto entries = readDictEntries(message, entry.c_str());
    result = entries ? Result<Value>(Value(std::move(entries).value())) : entries.error();
  } else if (type == SD_BUS_TYPE_VARIANT) {
    result = readValue(message);
  } else {
    auto elements = readElements(message);
    result = elements ? Result<Value>(Value(std::move(elements).value())) : elements.error();
  }
  if (!result) {
    return result;
  }
  r = sd_bus_message_exit_container(message);
  if (r < 0) {
    return malformed(r);
  }
  return result;
}

Result<Value> readValue(sd_bus_message* message) {
  char type = 0;
  const char* contents = nullptr;
  const int r = sd_bus_message_peek_type(message, &type, &contents);
  if (r <= 0) {
    return malformed(r < 0 ? r : -EBADMSG);
  }
  if (type == SD_BUS_TYPE_ARRAY || type == SD_BUS_TYPE_VARIANT || type == SD_BUS_TYPE_STRUCT) {
    return readContainer(message, type, contents);
  }
  return readBasic(message, type);
}

int appendBasic(sd_bus_message* message,
                const std::variant<bool, std::int64_t, double, std::string>& value) {
  return std::visit(
      [message](const auto& basic) {
        using T = std::decay_t<decltype(basic)>;
        if constexpr (std::is_same_v<T, bool>) {
          const int flag = basic ? 1 : 0;
          return sd_bus_message_append_basic(message, SD_BUS_TYPE_BOOLEAN, &flag);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return sd_bus_message_append_basic(message, SD_BUS_TYPE_INT64, &basic);
        } else if constexpr (std::is_same_v<T, double>) {
          return sd_bus_message_append_basic(message, SD_BUS_TYPE_DOUBLE, &basic);
        } else {
          return sd_bus_message_append_basic(message, SD_BUS_TYPE_STRING, basic.c_str());
        }
      },
      value);
}

const char* basicSignature(const std::variant<bool, std::int64_t, double, std::string>& value) {
  static constexpr const char* signatures[] = {"b", "x", "d", "s"};
  return signatures[value.index()];
}

}  // namespace

Message Message::adopt(sd_bus_message* message) {
  return Message(message);
}

Message Message::borrow(sd_bus_message* message) {
  return Message(sd_bus_message_ref(message));
}

Message::Message(Message&& other) noexcept : message_(std::exchange(other.message_, nullptr)) {}

Message& Message::operator=(Message&& other) noexcept {
  if (this != &other) {
    release();
    message_ = std::exchange(other.message_, nullptr);
  }
  return *this;
}

Message::~Message() {
  release();
}

void Message::release() {
  if (message_ != nullptr) {
    sd_bus_message_unref(message_);
    message_ = nullptr;
  }
}

std::string Message::sender() const {
  return text(sd_bus_message_get_sender(message_));
}

std::string Message::path() const {
  return text(sd_bus_message_get_path(message_));
}

std::string Message::interface() const {
  return text(sd_bus_message_get_interface(message_));
}

std::string Message::member() const {
  return text(sd_bus_message_get_member(message_));
}

std::optional<Error> Message::error() const {
  if (sd_bus_message_is_method_error(message_, nullptr) <= 0) {
    return std::nullopt;
  }
  const sd_bus_error* error = sd_bus_message_get_error(message_);
  if (error == nullptr) {
    return Error{std::string(errorNames::failed), "The peer reported an error."};
  }
  return Error{text(error->name), text(error->message)};
}

Result<std::vector<Value>> Message::readAll() {
  std::vector<Value> values;
  for (;;) {
    const int r = sd_bus_message_at_end(message_, 0);
    if (r < 0) {
      return malformed(r);
    }
    if (r > 0) {
      return values;
    }
    auto value = readValue(message_);
    if (!value) {
      return value.error();
    }
    values.push_back(std::move(value).value());
  }
}

Status Message::append(const Argument& argument) {
  const int r = std::visit(
      [this](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, ObjectPath>) {
          return sd_bus_message_append_basic(message_, SD_BUS_TYPE_OBJECT_PATH, value.path.c_str());
        } else if constexpr (std::is_same_v<T, Variant>) {
          int opened = sd_bus_message_open_container(message_, SD_BUS_TYPE_VARIANT,
                                                     basicSignature(value.value));
          if (opened < 0) {
            return opened;
          }
          const int appended = appendBasic(message_, value.value);
          return appended < 0 ? appended : sd_bus_message_close_container(message_);
        } else {
          return appendBasic(message_, value);
        }
      },
      argument);
  if (r < 0) {
    return errorFromErrno(r, "Cannot build a D-Bus message");
  }
  return Done{};
}

}  // namespace kestrune::daemon::dbus
