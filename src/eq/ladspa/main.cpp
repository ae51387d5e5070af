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
#include <optional>
#include <string>
#include <vector>

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

// The parametric mode: a preamp and up to twenty filters, each four ports.

using kestrune::eq::firstFilterPort;
using kestrune::eq::maxFilters;
using kestrune::eq::ParametricEqualizer;
using kestrune::eq::ParametricFilter;
using kestrune::eq::portsPerFilter;
using kestrune::eq::preampPort;

constexpr unsigned long parametricPortCount = firstFilterPort + maxFilters * portsPerFilter;
constexpr unsigned long parametricControlCount = parametricPortCount - preampPort;
using ControlValues = std::array<LADSPA_Data, parametricControlCount>;

struct ParametricInstance {
  explicit ParametricInstance(double sampleRate) : equalizer(sampleRate) {}

  ParametricEqualizer equalizer;
  std::array<const LADSPA_Data*, 2> inputs{};
  std::array<LADSPA_Data*, 2> outputs{};
  std::array<const LADSPA_Data*, parametricControlCount> controls{};
  // What the filters were last designed from, once they were.
  ControlValues applied{};
  bool designed = false;
};

ParametricInstance& parametricOf(LADSPA_Handle handle) {
  return *static_cast<ParametricInstance*>(handle);
}

LADSPA_Handle instantiateParametric(const LADSPA_Descriptor* /*descriptor*/,
                                    unsigned long sampleRate) {
  try {
    return std::make_unique<ParametricInstance>(static_cast<double>(sampleRate)).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void connectParametricPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
  ParametricInstance& instance = parametricOf(handle);
  if (port < preampPort) {
    if (port == kestrune::eq::inputLeftPort || port == kestrune::eq::inputRightPort) {
      instance.inputs[port - kestrune::eq::inputLeftPort] = data;
    } else {
      instance.outputs[port - kestrune::eq::outputLeftPort] = data;
    }
  } else if (port < parametricPortCount) {
    instance.controls[port - preampPort] = data;
  }
}

void activateParametric(LADSPA_Handle handle) {
  parametricOf(handle).equalizer.reset();
}

double controlValue(const ParametricInstance& instance, std::size_t control, double low,
                    double high, double fallback) {
  const LADSPA_Data* port = instance.controls[control];
  const double value = port != nullptr ? *port : fallback;
  return std::isfinite(value) ? std::clamp(value, low, high) : fallback;
}

// The filter on the ports of filter `index`; nothing when it is off.
std::optional<ParametricFilter> controlFilter(const ParametricInstance& instance,
                                              std::size_t index) {
  const std::size_t first = firstFilterPort - preampPort + index * portsPerFilter;
  const double type = controlValue(instance, first, 0, 3, 0);
  ParametricFilter filter;
  if (type == kestrune::eq::parametricTypeLowShelf) {
    filter.type = kestrune::eq::FilterType::lowShelf;
  } else if (type == kestrune::eq::parametricTypeHighShelf) {
    filter.type = kestrune::eq::FilterType::highShelf;
  } else if (type == kestrune::eq::parametricTypePeaking) {
    filter.type = kestrune::eq::FilterType::peaking;
  } else {
    return std::nullopt;
  }
  filter.frequency = controlValue(instance, first + 1, kestrune::eq::minimumFrequency,
                                  kestrune::eq::maximumFrequency, 1000);
  filter.gain = controlValue(instance, first + 2, kestrune::eq::minimumGain,
                             kestrune::eq::maximumGain, 0);
  filter.q = controlValue(instance, first + 3, kestrune::eq::minimumQ, kestrune::eq::maximumQ, 1);
  return filter;
}

// Redesigns what changed on the control ports since the last run: a filter
// is only recomputed when one of its own four values moved.
void followControls(ParametricInstance& instance) {
  ControlValues now{};
  for (std::size_t k = 0; k < parametricControlCount; ++k) {
    now[k] = instance.controls[k] != nullptr ? *instance.controls[k] : 0.0F;
  }
  const auto moved = [&](std::size_t from, std::size_t count) {
    return !instance.designed || !std::equal(now.begin() + from, now.begin() + from + count,
                                             instance.applied.begin() + from);
  };
  if (moved(0, 1)) {
    instance.equalizer.setPreamp(controlValue(instance, 0, kestrune::eq::minimumPreamp,
                                              kestrune::eq::maximumPreamp, 0));
  }
  for (std::size_t index = 0; index < maxFilters; ++index) {
    const std::size_t first = firstFilterPort - preampPort + index * portsPerFilter;
    if (!moved(first, portsPerFilter)) {
      continue;
    }
    if (const auto filter = controlFilter(instance, index)) {
      instance.equalizer.setFilter(index, *filter);
    } else {
      instance.equalizer.clearFilter(index);
    }
  }
  instance.applied = now;
  instance.designed = true;
}

void runParametric(LADSPA_Handle handle, unsigned long frames) {
  ParametricInstance& instance = parametricOf(handle);
  if (instance.inputs[0] == nullptr || instance.inputs[1] == nullptr ||
      instance.outputs[0] == nullptr || instance.outputs[1] == nullptr) {
    return;
  }
  followControls(instance);
  instance.equalizer.process(instance.inputs[0], instance.inputs[1], instance.outputs[0],
                             instance.outputs[1], frames);
}

void cleanupParametric(LADSPA_Handle handle) {
  const std::unique_ptr<ParametricInstance> owned(static_cast<ParametricInstance*>(handle));
}

// The ports' descriptions, hints and names, made once when a server first
// asks for the plugin (never in its real-time thread).
struct ParametricPorts {
  ParametricPorts() {
    for (unsigned long port = 0; port < parametricPortCount; ++port) {
      descriptors[port] = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
    }
    descriptors[kestrune::eq::inputLeftPort] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
    descriptors[kestrune::eq::inputRightPort] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO;
    descriptors[kestrune::eq::outputLeftPort] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;
    descriptors[kestrune::eq::outputRightPort] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO;
    names = {"Input L", "Input R", "Output L", "Output R", "Preamp"};
    hints[preampPort] = bounded(kestrune::eq::minimumPreamp, kestrune::eq::maximumPreamp,
                                LADSPA_HINT_DEFAULT_0);
    for (std::size_t index = 0; index < maxFilters; ++index) {
      const unsigned long first = firstFilterPort + index * portsPerFilter;
      const std::string filter = "Filter " + std::to_string(index + 1);
      names.push_back(filter + " type");
      names.push_back(filter + " frequency");
      names.push_back(filter + " gain");
      names.push_back(filter + " Q");
      hints[first] = bounded(0, 3, LADSPA_HINT_DEFAULT_0 | LADSPA_HINT_INTEGER);
      hints[first + 1] = bounded(kestrune::eq::minimumFrequency, kestrune::eq::maximumFrequency,
                                 LADSPA_HINT_DEFAULT_440 | LADSPA_HINT_LOGARITHMIC);
      hints[first + 2] =
          bounded(kestrune::eq::minimumGain, kestrune::eq::maximumGain, LADSPA_HINT_DEFAULT_0);
      hints[first + 3] =
          bounded(kestrune::eq::minimumQ, kestrune::eq::maximumQ, LADSPA_HINT_DEFAULT_1);
    }
    for (unsigned long port = 0; port < parametricPortCount; ++port) {
      namePointers[port] = names[port].c_str();
    }
  }

  static LADSPA_PortRangeHint bounded(double low, double high, LADSPA_PortRangeHintDescriptor more) {
    return {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | more,
            static_cast<LADSPA_Data>(low), static_cast<LADSPA_Data>(high)};
  }

  std::array<LADSPA_PortDescriptor, parametricPortCount> descriptors{};
  std::array<LADSPA_PortRangeHint, parametricPortCount> hints{};
  std::vector<std::string> names;
  std::array<const char*, parametricPortCount> namePointers{};
};

const LADSPA_Descriptor* parametricDescriptor() {
  static const ParametricPorts ports;
  static const LADSPA_Descriptor parametric = {
      kestrune::eq::parametricPluginUniqueID,
      kestrune::eq::parametricPluginLabel.data(),
      LADSPA_PROPERTY_HARD_RT_CAPABLE,
      "Kestrune parametric equaliser",
      "Kestrune",
      "None",
      parametricPortCount,
      ports.descriptors.data(),
      ports.namePointers.data(),
      ports.hints.data(),
      nullptr,
      instantiateParametric,
      connectParametricPort,
      activateParametric,
      runParametric,
      nullptr,
      nullptr,
      nullptr,
      cleanupParametric,
  };
  return &parametric;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(
    unsigned long index) {
  switch (index) {
    case 0:
      return &descriptor;
    case 1:
      try {
        return parametricDescriptor();
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
    default:
      return nullptr;
  }
}
