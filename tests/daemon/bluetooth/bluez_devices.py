"""Drives python-dbusmock's bluez5 template on DBUS_SYSTEM_BUS_ADDRESS.

  bluez_devices.py setup   an adapter; a connected headset with a battery at
                           80%, a connected speaker without one, earbuds that
                           are not connected, and a connected mouse
  bluez_devices.py change  the headset's battery drops to 55%, the earbuds
                           connect, the speaker disconnects
"""

import os
import sys

import dbus
import dbus.bus

BATTERY = "org.bluez.Battery1"
DEVICE = "org.bluez.Device1"
MOCK = "org.bluez.Mock"
DBUS_MOCK = "org.freedesktop.DBus.Mock"
OBJECT_MANAGER = "org.freedesktop.DBus.ObjectManager"
A2DP_SINK = "0000110b-0000-1000-8000-00805f9b34fb"
HANDSFREE = "0000111e-0000-1000-8000-00805f9b34fb"
HID = "00001124-0000-1000-8000-00805f9b34fb"

bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])


def obj(path):
    return bus.get_object("org.bluez", path)


def add_device(address, alias, icon, uuids, connected, battery=None):
    path = dbus.Interface(obj("/"), MOCK).AddDevice("hci0", address, alias)
    device = obj(path)
    properties = dbus.Interface(device, dbus.PROPERTIES_IFACE)
    properties.Set(DEVICE, "Icon", icon)
    properties.Set(DEVICE, "UUIDs", dbus.Array(uuids, signature="s"))
    if connected:
        dbus.Interface(obj("/"), MOCK).ConnectDevice("hci0", address)
    if battery is not None:
        values = {"Percentage": dbus.Byte(battery)}
        dbus.Interface(device, DBUS_MOCK).AddProperties(BATTERY, values)
        dbus.Interface(obj("/"), DBUS_MOCK).EmitSignal(
            OBJECT_MANAGER, "InterfacesAdded", "oa{sa{sv}}",
            [dbus.ObjectPath(path), {BATTERY: values}])


def setup():
    dbus.Interface(obj("/"), MOCK).AddAdapter("hci0", "Laptop")
    add_device("11:11:11:11:11:11", "Studio Headset", "audio-headset", [A2DP_SINK, HANDSFREE],
               True, 80)
    add_device("22:22:22:22:22:22", "Desk Speaker", "", [A2DP_SINK], True)
    add_device("33:33:33:33:33:33", "Travel Earbuds", "audio-headphones", [], False, 60)
    add_device("44:44:44:44:44:44", "Mouse", "input-mouse", [HID], True, 50)


def change():
    headset = obj("/org/bluez/hci0/dev_11_11_11_11_11_11")
    dbus.Interface(headset, dbus.PROPERTIES_IFACE).Set(BATTERY, "Percentage", dbus.Byte(55))
    dbus.Interface(obj("/"), MOCK).ConnectDevice("hci0", "33:33:33:33:33:33")
    dbus.Interface(obj("/"), MOCK).DisconnectDevice("hci0", "22:22:22:22:22:22")


if __name__ == "__main__":
    {"setup": setup, "change": change}[sys.argv[1]]()
