"""Media players for the media tests, on the bus in DBUS_SESSION_BUS_ADDRESS.

  test_player.py hung NAME     owns NAME and never answers anything
  test_player.py limited NAME  an MPRIS player that cannot skip or seek,
                               whose repeat mode and volume are read-only
                               and whose shuffle works
"""

import os
import sys
import time

import dbus
import dbus.bus
import dbus.exceptions
import dbus.service

ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPERTIES = "org.freedesktop.DBus.Properties"
READ_ONLY = "org.freedesktop.DBus.Error.PropertyReadOnly"


def hung(name):
    bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    bus.request_name(name)
    # No main loop: calls queue up unread and are never answered.
    while True:
        time.sleep(3600)


class LimitedPlayer(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        metadata = dbus.Dictionary(
            {
                "mpris:trackid": dbus.ObjectPath("/track/1"),
                "xesam:title": "Radio Hour",
                "xesam:artist": dbus.Array(["Host One", "Host Two"], signature="s"),
                "mpris:length": dbus.Int64(3_600_000_000),
            },
            signature="sv",
        )
        self.values = {
            ROOT: {"Identity": "Limited Player", "CanQuit": False, "CanRaise": False,
                   "HasTrackList": False},
            PLAYER: {
                "PlaybackStatus": "Playing",
                "LoopStatus": "None",
                "Shuffle": False,
                "Volume": 0.25,
                "Position": dbus.Int64(1_000_000),
                "Metadata": metadata,
                "CanControl": True,
                "CanPlay": True,
                "CanPause": True,
                "CanGoNext": False,
                "CanGoPrevious": False,
                "CanSeek": False,
            },
        }

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.values[interface][name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self.values.get(interface, {}), signature="sv")

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        if name != "Shuffle":
            raise dbus.exceptions.DBusException(name + " is read-only", name=READ_ONLY)
        self.values[interface][name] = value
        self.PropertiesChanged(interface, {name: value}, [])

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        playing = self.values[PLAYER]["PlaybackStatus"] == "Playing"
        status = "Paused" if playing else "Playing"
        self.values[PLAYER]["PlaybackStatus"] = status
        self.PropertiesChanged(PLAYER, {"PlaybackStatus": status}, [])

    @dbus.service.method(PLAYER)
    def Next(self):
        raise dbus.exceptions.DBusException("cannot skip", name="org.freedesktop.DBus.Error.Failed")

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        raise dbus.exceptions.DBusException("cannot seek", name="org.freedesktop.DBus.Error.Failed")


def limited(name):
    import dbus.mainloop.glib
    from gi.repository import GLib

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    player = LimitedPlayer(bus)
    bus.request_name(name)
    GLib.MainLoop().run()
    del player


if __name__ == "__main__":
    {"hung": hung, "limited": limited}[sys.argv[1]](sys.argv[2])
