#!/usr/bin/python3
"""A StatusNotifierWatcher of the smallest kind on the session bus, for
bench/panel_bench.sh: prints "ready US" once it owns its name, then
"registered US SERVICE" for each tray item that registers, US being
CLOCK_REALTIME in microseconds (the clock of bash's EPOCHREALTIME)."""
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

INTERFACE = "org.kde.StatusNotifierWatcher"


def now_us():
    return time.clock_gettime_ns(time.CLOCK_REALTIME) // 1000


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(INTERFACE, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        at = now_us()
        self.items.append(service if service.startswith(":") else sender)
        print("registered %d %s" % (at, service), flush=True)
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(INTERFACE, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(INTERFACE, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": True,
                "ProtocolVersion": dbus.Int32(0)}


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(INTERFACE, bus)
    print("ready %d" % now_us(), flush=True)
    GLib.MainLoop().run()
    del watcher, name
    return 0


if __name__ == "__main__":
    sys.exit(main())
