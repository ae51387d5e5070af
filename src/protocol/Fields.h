#pragma once
// The members of every request case, payload case and record: their JSON keys
// and where they live, in the order they are written. Coding.cpp walks these
// tables in both directions, so encoding and decoding cannot drift apart.

#include <string_view>
#include <tuple>
#include <type_traits>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::coding {

template <class T, class M>
struct Field {
  std::string_view key;
  M T::*member;
};

template <class T, class M>
constexpr Field<T, M> field(std::string_view key, M T::*member) {
  return {key, member};
}

// Every type with members has an entry below; cases without members need none.
template <class T>
struct Fields;
template <class T>
requires std::is_empty_v<T>
struct Fields<T> {
  static constexpr std::tuple<> list{};
};

using C = CLICommand;
template <>
struct Fields<C::SetVolume> {
  static constexpr auto list = std::tuple{field("percent", &C::SetVolume::percent)};
};
template <>
struct Fields<C::StepVolume> {
  static constexpr auto list = std::tuple{field("direction", &C::StepVolume::direction)};
};
template <>
struct Fields<C::SetMute> {
  static constexpr auto list = std::tuple{field("action", &C::SetMute::action)};
};
template <>
struct Fields<C::SetOutputMute> {
  static constexpr auto list =
      std::tuple{field("action", &C::SetOutputMute::action), field("uid", &C::SetOutputMute::uid)};
};
template <>
struct Fields<C::ListDevices> {
  static constexpr auto list = std::tuple{field("direction", &C::ListDevices::direction)};
};
template <>
struct Fields<C::GetCurrentDevice> {
  static constexpr auto list = std::tuple{field("direction", &C::GetCurrentDevice::direction)};
};
template <>
struct Fields<C::SetDevice> {
  static constexpr auto list =
      std::tuple{field("uid", &C::SetDevice::uid), field("direction", &C::SetDevice::direction)};
};
template <>
struct Fields<C::CycleDevice> {
  static constexpr auto list = std::tuple{field("direction", &C::CycleDevice::direction)};
};
template <>
struct Fields<C::GetAppVolume> {
  static constexpr auto list = std::tuple{field("appID", &C::GetAppVolume::appID)};
};
template <>
struct Fields<C::SetAppVolume> {
  static constexpr auto list = std::tuple{field("appID", &C::SetAppVolume::appID),
                                          field("percent", &C::SetAppVolume::percent)};
};
template <>
struct Fields<C::SetAppMute> {
  static constexpr auto list =
      std::tuple{field("appID", &C::SetAppMute::appID), field("action", &C::SetAppMute::action)};
};
template <>
struct Fields<C::SoloApp> {
  static constexpr auto list = std::tuple{field("appID", &C::SoloApp::appID)};
};
template <>
struct Fields<C::GetAppEQ> {
  static constexpr auto list = std::tuple{field("appID", &C::GetAppEQ::appID)};
};
template <>
struct Fields<C::SetAppEQ> {
  static constexpr auto list =
      std::tuple{field("appID", &C::SetAppEQ::appID), field("preset", &C::SetAppEQ::preset)};
};
template <>
struct Fields<C::GetAppDevice> {
  static constexpr auto list = std::tuple{field("appID", &C::GetAppDevice::appID)};
};
template <>
struct Fields<C::SetAppDevice> {
  static constexpr auto list = std::tuple{field("appID", &C::SetAppDevice::appID),
                                          field("deviceUID", &C::SetAppDevice::deviceUID)};
};
template <>
struct Fields<C::ApplyProfile> {
  static constexpr auto list = std::tuple{field("name", &C::ApplyProfile::name)};
};
template <>
struct Fields<C::MediaForward> {
  static constexpr auto list = std::tuple{field("seconds", &C::MediaForward::seconds)};
};
template <>
struct Fields<C::MediaBackward> {
  static constexpr auto list = std::tuple{field("seconds", &C::MediaBackward::seconds)};
};
template <>
struct Fields<C::SetMediaVolume> {
  static constexpr auto list = std::tuple{field("percent", &C::SetMediaVolume::percent)};
};

// Payload cases keep their one value under "_0".
template <class Case>
struct PayloadFields {
  static constexpr auto list = std::tuple{field("_0", &Case::value)};
};
using D = CLIResponseData;
template <>
struct Fields<D::Volume> : PayloadFields<D::Volume> {};
template <>
struct Fields<D::Muted> : PayloadFields<D::Muted> {};
template <>
struct Fields<D::SilentMode> : PayloadFields<D::SilentMode> {};
template <>
struct Fields<D::Device> : PayloadFields<D::Device> {};
template <>
struct Fields<D::Devices> : PayloadFields<D::Devices> {};
template <>
struct Fields<D::Apps> : PayloadFields<D::Apps> {};
template <>
struct Fields<D::App> : PayloadFields<D::App> {};
template <>
struct Fields<D::Profiles> : PayloadFields<D::Profiles> {};
template <>
struct Fields<D::MediaInfo> : PayloadFields<D::MediaInfo> {};
template <>
struct Fields<D::Bluetooth> : PayloadFields<D::Bluetooth> {};
template <>
struct Fields<D::Status> : PayloadFields<D::Status> {};
template <>
struct Fields<D::Version> : PayloadFields<D::Version> {};
template <>
struct Fields<D::Eq> : PayloadFields<D::Eq> {};
template <>
struct Fields<D::Text> : PayloadFields<D::Text> {};
template <>
struct Fields<D::Bool> : PayloadFields<D::Bool> {};
template <>
struct Fields<D::EqPresets> : PayloadFields<D::EqPresets> {};

// Records carry their type name for decoding errors.
template <>
struct Fields<CLIDeviceInfo> {
  using T = CLIDeviceInfo;
  static constexpr std::string_view name = "CLIDeviceInfo";
  static constexpr auto list = std::tuple{field("uid", &T::uid),
                                          field("name", &T::name),
                                          field("isInput", &T::isInput),
                                          field("isOutput", &T::isOutput),
                                          field("isDefault", &T::isDefault),
                                          field("volume", &T::volume),
                                          field("isMuted", &T::isMuted),
                                          field("sampleRate", &T::sampleRate),
                                          field("transportType", &T::transportType)};
};
template <>
struct Fields<CLIAppInfo> {
  using T = CLIAppInfo;
  static constexpr std::string_view name = "CLIAppInfo";
  static constexpr auto list = std::tuple{field("id", &T::id),
                                          field("name", &T::name),
                                          field("bundleID", &T::bundleID),
                                          field("volume", &T::volume),
                                          field("isMuted", &T::isMuted),
                                          field("deviceUID", &T::deviceUID),
                                          field("deviceName", &T::deviceName),
                                          field("eqPreset", &T::eqPreset),
                                          field("balance", &T::balance)};
};
template <>
struct Fields<CLIEQBand> {
  using T = CLIEQBand;
  static constexpr std::string_view name = "CLIEQBand";
  static constexpr auto list =
      std::tuple{field("frequency", &T::frequency), field("gain", &T::gain)};
};
template <>
struct Fields<CLIEQInfo> {
  using T = CLIEQInfo;
  static constexpr std::string_view name = "CLIEQInfo";
  static constexpr auto list = std::tuple{field("isEnabled", &T::isEnabled),
                                          field("preset", &T::preset), field("bands", &T::bands)};
};
template <>
struct Fields<CLIVersionInfo> {
  using T = CLIVersionInfo;
  static constexpr std::string_view name = "CLIVersionInfo";
  static constexpr auto list = std::tuple{field("version", &T::version), field("build", &T::build),
                                          field("cliVersion", &T::cliVersion)};
};
template <>
struct Fields<CLIStatusInfo> {
  using T = CLIStatusInfo;
  static constexpr std::string_view name = "CLIStatusInfo";
  static constexpr auto list = std::tuple{
      field("version", &T::version),           field("isRunning", &T::isRunning),
      field("outputDevice", &T::outputDevice), field("inputDevice", &T::inputDevice),
      field("outputVolume", &T::outputVolume), field("isMuted", &T::isMuted),
      field("isSilentMode", &T::isSilentMode), field("activeAppCount", &T::activeAppCount),
      field("cliInstalled", &T::cliInstalled)};
};
template <>
struct Fields<CLIBluetoothInfo> {
  using T = CLIBluetoothInfo;
  static constexpr std::string_view name = "CLIBluetoothInfo";
  static constexpr auto list =
      std::tuple{field("name", &T::name), field("batteryLevel", &T::batteryLevel),
                 field("isConnected", &T::isConnected)};
};
template <>
struct Fields<CLIMediaInfo> {
  using T = CLIMediaInfo;
  static constexpr std::string_view name = "CLIMediaInfo";
  static constexpr auto list =
      std::tuple{field("title", &T::title),         field("artist", &T::artist),
                 field("album", &T::album),         field("player", &T::player),
                 field("isPlaying", &T::isPlaying), field("position", &T::position),
                 field("duration", &T::duration),   field("volume", &T::volume)};
};
template <>
struct Fields<EQPresetInfo> {
  using T = EQPresetInfo;
  static constexpr std::string_view name = "EQPresetInfo";
  static constexpr auto list =
      std::tuple{field("name", &T::name), field("isParametric", &T::isParametric)};
};
template <>
struct Fields<CLIProfileInfo> {
  using T = CLIProfileInfo;
  static constexpr std::string_view name = "CLIProfileInfo";
  static constexpr auto list =
      std::tuple{field("id", &T::id), field("name", &T::name), field("appCount", &T::appCount)};
};
template <>
struct Fields<CLIResponse> {
  using T = CLIResponse;
  static constexpr std::string_view name = "CLIResponse";
  static constexpr auto list = std::tuple{field("success", &T::success), field("data", &T::data),
                                          field("error", &T::error), field("message", &T::message)};
};

}  // namespace kestrune::coding
