#pragma once
// What a sound server is asked to load to put the equaliser in front of a
// device: module-ladspa-sink with our plugin, its master (the device the
// app plays on) and the band gains as the plugin's controls. Both
// PulseAudio and PipeWire's pulse server accept these arguments.
//
//   pa_context_load_module(context, ladspaSinkModule,
//                          ladspaSinkArguments({"kestrune_eq.music", "speakers",
//                                               "Music EQ", preset.gains}).c_str(), ...);
//
// Changing a preset while an app plays: load a new sink with the new gains,
// move the app's streams to it, then unload the old one.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eq/Bands.h"
#include "eq/Parametric.h"

namespace kestrune::eq {

inline constexpr std::string_view ladspaSinkModule = "module-ladspa-sink";

struct EqualizerSink {
  std::string sinkName;     // unique on the server, e.g. "kestrune_eq.music"
  std::string masterSink;   // the sink the filtered audio goes to
  std::string description;  // what mixers show
  BandGains gains{};
  // Set: the plugin's parametric mode with this preset (gains unused).
  std::optional<Parametric> parametric = std::nullopt;
  // More properties of the sink, e.g. who loaded it; the values must hold
  // no quotes or backslashes.
  std::vector<std::pair<std::string, std::string>> properties = {};
};

// "6,5,4,2.5,1,0,0,0,0,0": the gains in the plugin's port order, written
// the same whatever the process's locale.
std::string controlArgument(const BandGains& gains);
// "-6.2,2,105,5.5,0.71,1,180,-2.4,0.62,0,1000,0,1,...": the preamp, then
// type, frequency, gain and Q of each of the parametric plugin's twenty
// filters (those the preset does not use are off).
std::string controlArgument(const Parametric& preset);

// The plugin file the server should load: an absolute path, so that the
// server's LADSPA_PATH (its own environment, which the caller does not
// control) does not matter. The file beside the running executable when
// there is one (a build tree), else the one in LIBDIR/ladspa next to the
// executable's bin directory (an installation under any prefix), else the
// one installed under the configured prefix.
std::string pluginFilePath();
// The installed plugin: LIBDIR/ladspa/kestrune-eq.so.
std::string installedPluginFilePath();

// The complete module arguments, naming the plugin by `pluginPath`:
//   sink_name=kestrune_eq.music sink_master=speakers
//   sink_properties="device.description='Music EQ'"
//   channels=2 channel_map=front-left,front-right
//   plugin="/usr/lib/x86_64-linux-gnu/ladspa/kestrune-eq.so" label=kestrune_eq
//   control=6,5,4,2.5,1,0,0,0,0,0
// (a parametric preset: label=kestrune_peq and its controls instead).
// The sink is stereo whatever the master's channels: PulseAudio otherwise
// makes it with the master's channels and refuses a mono master (the plugin
// has two inputs), and remixes the stereo sink to the master by itself.
// The description may hold spaces: the property list is quoted as a whole
// and the value inside it again (device.description="x y" unquoted would
// end the argument at the space). Quotes and backslashes are left out of
// the description, and the plugin path must not hold double quotes; the
// servers' argument syntax has no portable escape for them.
std::string ladspaSinkArguments(const EqualizerSink& sink,
                                const std::string& pluginPath = pluginFilePath());

}  // namespace kestrune::eq
