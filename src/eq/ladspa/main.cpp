// The equaliser as a LADSPA plugin, so that the sound server itself runs
// the filters (module-ladspa-sink): the audio never leaves the server and
// gains no latency. Everything here must be safe in the server's real-time
// thread: no exceptions escape, run() neither allocates nor locks.

#include <ladspa.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

#include "eq/Bands.h"
#include "eq/PluginInfo.h"
#include "eq/StereoEqualizer.h"

namespace {

using kestrune::eq::bandCount;
using kestrune::eq::BandGains;
using kestrune::eq::firstGainPort;
using kestrune::eq::StereoEqualizer;

constexpr unsigned long portCount = firstGainPort + bandCount;

struct Instance {
  explicit Instance(double sampleRate) : equalizer(sampleRate) {}

  StereoEqualizer equalizer;
  std::array<const LADSPA_Data*, 2> inputs{};
  std::array<LADSPA_Data*, 2> outputs{};
  std::array<const LADSPA_Data*, bandCount> gains{};
};

Instance& instanceOf(LADSPA_Handle handle) {
  return *static_cast<Instance*>(handle);
}

LADSPA_Handle instantiate(const LADSPA_Descriptor* /*descriptor*/, unsigned long sampleRate) {
  try {
    return std::make_unique<Instance>(static_cast<double>(sampleRate)).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void connectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
  Instance& instance = instanceOf(handle);
  switch (port) {
    case kestrune::eq::inputLeftPort:
    case kestrune::eq::inputRightPort:
      instance.inputs[port - kestrune::eq::inputLeftPort] = data;
      break;
    case kestrune::eq::outputLeftPort:
    case kestrune::eq::outputRightPort:
      instance.outputs[port - kestrune::eq::outputLeftPort] = data;
      break;
    default:
      if (port >= firstGainPort && port < portCount) {
        instance.gains[port - firstGainPort] = data;
      }
      break;
  }
}

void activate(LADSPA_Handle handle) {
  instanceOf(handle).equalizer.reset();
}

// The gains on the control ports, within the range the plugin declares (an
// unconnected port or a value that is not a number counts as 0 dB).
BandGains controlGains(const Instance& instance) {
  BandGains gains{};
  for (std::size_t band = 0; band < bandCount; ++band) {
    const LADSPA_Data* port = instance.gains[band];
    const double value = port != nullptr ? *port : 0.0;
    gains[band] = std::isfinite(value)
                      ? std::clamp(value, kestrune::eq::minimumGain, kestrune::eq::maximumGain)
                      : 0.0;
  }
  return gains;
}

void run(LADSPA_Handle handle, unsigned long frames) {
  Instance& instance = instanceOf(handle);
  if (instance.inputs[0] == nullptr || instance.inputs[1] == nullptr ||
      instance.outputs[0] == nullptr || instance.outputs[1] == nullptr) {
    return;
  }
  const BandGains gains = controlGains(instance);
  if (gains != instance.equalizer.gains()) {
    instance.equalizer.setGains(gains);
  }
  instance.equalizer.process(instance.inputs[0], instance.inputs[1], instance.outputs[0],
                             instance.outputs[1], frames);
}

void cleanup(LADSPA_Handle handle) {
  const std::unique_ptr<Instance> owned(static_cast<Instance*>(handle));
}

constexpr std::array<LADSPA_PortDescriptor, portCount> portDescriptors() {
  std::array<LADSPA_PortDescriptor, portCount> ports{};
  ports[kestrune::eq::inputLeftPort] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
  ports[kestrune::eq::inputRightPort] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
  ports[kestrune::eq::outputLeftPort] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;
  ports[kestrune::eq::outputRightPort] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;
  for (unsigned long port = firstGainPort; port < portCount; ++port) {
    ports[port] = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
  }
  return ports;
}

constexpr std::array<LADSPA_PortRangeHint, portCount> portHints() {
  std::array<LADSPA_PortRangeHint, portCount> hints{};
  for (unsigned long port = firstGainPort; port < portCount; ++port) {
    hints[port] = {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_DEFAULT_0,
                   static_cast<LADSPA_Data>(kestrune::eq::minimumGain),
                   static_cast<LADSPA_Data>(kestrune::eq::maximumGain)};
  }
  return hints;
}

constexpr std::array<LADSPA_PortDescriptor, portCount> descriptors = portDescriptors();
constexpr std::array<LADSPA_PortRangeHint, portCount> hints = portHints();
constexpr std::array<const char*, portCount> portNames = {
    "Input L", "Input R", "Output L", "Output R", "32 Hz", "64 Hz", "125 Hz",
    "250 Hz",  "500 Hz",  "1 kHz",    "2 kHz",    "4 kHz", "8 kHz", "16 kHz"};

constexpr LADSPA_Descriptor descriptor = {
    kestrune::eq::pluginUniqueID,
    kestrune::eq::pluginLabel.data(),
    LADSPA_PROPERTY_HARD_RT_CAPABLE,
    "Kestrune 10-band equaliser",
    "Kestrune",
    "None",
    portCount,
    descriptors.data(),
    portNames.data(),
    hints.data(),
    nullptr,
    instantiate,
    connectPort,
    activate,
    run,
    nullptr,
    nullptr,
    nullptr,
    cleanup,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(
    unsigned long index) {
  return index == 0 ? &descriptor : nullptr;
}
