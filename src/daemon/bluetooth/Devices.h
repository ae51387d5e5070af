#pragma once
// BlueZ's objects as its object manager lists them, and the connected
// audio devices among them.

#include <map>
#include <string>
#include <vector>

#include "daemon/dbus/Value.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::bluetooth {

// Object path -> interface -> properties.
using Interfaces = std::map<std::string, dbus::Value::Dict>;
using ObjectTree = std::map<std::string, Interfaces>;

// The reply of GetManagedObjects (a{oa{sa{sv}}}) as a tree.
ObjectTree objectTree(const dbus::Value& managedObjects);
// InterfacesAdded's second argument (a{sa{sv}}).
Interfaces interfaces(const dbus::Value& added);

// A device with an audio profile (A2DP, AVRCP, HSP, HFP, LE Audio) or an
// "audio-*" icon.
bool isAudioDevice(const dbus::Value::Dict& device);

// The connected audio devices, named by their alias, with the battery
// level when the device reports one; in BlueZ's order (by address).
std::vector<CLIBluetoothInfo> connectedAudioDevices(const ObjectTree& objects);

}  // namespace kestrune::daemon::bluetooth
