#include "daemon/Apps.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "daemon/RequestFailure.h"
#include "protocol/Text.h"

namespace kestrune::daemon {

namespace {

std::string firstOf(const Stream& stream, std::initializer_list<std::string_view> keys) {
  for (const auto key : keys) {
    std::string value = stream.property(key);
    if (!value.empty()) {
      return value;
    }
  }
  return {};
}

template <class Value>
double meanOf(const std::vector<Stream>& streams, Value value) {
  if (streams.empty()) {
    return 0;
  }
  const double sum =
      std::accumulate(streams.begin(), streams.end(), 0.0,
                      [&](double total, const Stream& s) { return total + value(s); });
  return sum / static_cast<double>(streams.size());
}

}  // namespace

double App::volume() const {
  return std::round(meanOf(streams, [](const Stream& s) { return s.volume; }) * 100) / 100;
}

double App::balance() const {
  return meanOf(streams, [](const Stream& s) { return s.balance; });
}

bool App::muted() const {
  return !streams.empty() &&
         std::all_of(streams.begin(), streams.end(), [](const Stream& s) { return s.muted; });
}

bool App::answersTo(std::string_view word) const {
  return equalsIgnoringCase(id, word) || equalsIgnoringCase(name, word) ||
         (bundleID && equalsIgnoringCase(*bundleID, word)) ||
         (!binary.empty() && equalsIgnoringCase(binary, word));
}

std::optional<std::string> appIdentity(const Stream& stream, const SoundState& state) {
  if (!stream.client || stream.client == state.ownClient) {
    return std::nullopt;
  }
  std::string identity =
      firstOf(stream, {"application.id", "application.name", "application.process.binary"});
  if (identity.empty()) {
    return std::nullopt;
  }
  return identity;
}

std::vector<App> appsOf(const SoundState& state) {
  std::vector<App> apps;
  for (const auto& [index, stream] : state.streams) {
    auto identity = appIdentity(stream, state);
    if (!identity) {
      continue;
    }
    auto app = std::find_if(apps.begin(), apps.end(),
                            [&](const App& candidate) { return candidate.id == *identity; });
    if (app == apps.end()) {
      App created;
      created.id = *identity;
      created.binary = stream.property("application.process.binary");
      created.name = firstOf(stream, {"application.name", "application.process.binary"});
      if (created.name.empty()) {
        created.name = created.id;
      }
      if (std::string bundle = stream.property("application.id"); !bundle.empty()) {
        created.bundleID = std::move(bundle);
      }
      apps.push_back(std::move(created));
      app = std::prev(apps.end());
    }
    app->streams.push_back(stream);
  }
  return apps;
}

App requireApp(const SoundState& state, std::string_view word) {
  std::vector<App> apps = appsOf(state);
  const auto found =
      std::find_if(apps.begin(), apps.end(), [&](const App& app) { return app.answersTo(word); });
  if (found != apps.end()) {
    return *found;
  }
  if (apps.empty()) {
    throw RequestFailure("App not found: " + quoted(word) + ". No apps are playing audio.");
  }
  std::vector<std::string> names;
  names.reserve(apps.size());
  for (const auto& app : apps) {
    names.push_back(app.name);
  }
  throw RequestFailure("App not found: " + quoted(word) + ". Running apps: " + joined(names));
}

}  // namespace kestrune::daemon
