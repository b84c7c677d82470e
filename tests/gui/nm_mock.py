"""NetworkManager for the desktop tests: the dial-up tests' python-dbusmock template
(tests/checker/dialup/mock_networkmanager.py) on a private bus that the session's programs take
for the system bus. Waits sleep until NetworkManager's side sends a signal."""

import os
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATE = os.path.join(HERE, "..", "checker", "dialup", "mock_networkmanager.py")
SERVICE = "org.freedesktop.NetworkManager"
PATH = "/org/freedesktop/NetworkManager"
MOCK = "org.freedesktop.DBus.Mock"


class NetworkManagerMock:
    def __init__(self, session, profiles, timeout=30):
        """Starts it with profiles, a list of (name, type) in NetworkManager's order; nothing
        is up."""
        address = session.start_bus(system=True)
        session._spawn("networkmanager",
                       [session.env.get("VELKORA_PYTHON", "/usr/bin/python3"), "-m", "dbusmock",
                        "--system", "--template", TEMPLATE])
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        self.bus = dbus.bus.BusConnection(address)
        self.loop = None
        # Every signal it sends (calls made, properties and states changed) wakes a wait.
        self.bus.add_signal_receiver(self._wake, bus_name=SERVICE)
        self.name_watch = self.bus.watch_name_owner(SERVICE, self._wake)
        self.wait_for(lambda: self.bus.name_has_owner(SERVICE), timeout, "NetworkManager's name")
        manager = self.bus.get_object(SERVICE, PATH, introspect=False)
        self.mock = dbus.Interface(manager, MOCK)
        self.properties = dbus.Interface(manager, dbus.PROPERTIES_IFACE)
        for name, kind in profiles:
            self.mock.AddProfile(name, kind, "")

    def events(self):
        """What it was asked for, in order: "activate NAME", "deactivate NAME"."""
        return [str(event) for event in self.mock.Events()]

    def active(self):
        """The paths of the active connections (coming up, up or going down)."""
        return [str(path) for path in
                self.properties.Get("org.freedesktop.NetworkManager", "ActiveConnections")]

    def wait_for(self, condition, timeout, what):
        """Tests the condition now and after each signal from NetworkManager's side."""
        deadline = time.monotonic() + timeout
        while not condition():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise AssertionError(f"timed out waiting for {what}")
            self.loop = GLib.MainLoop()
            expired = []
            timer = GLib.timeout_add(int(remaining * 1000) + 1,
                                     lambda: expired.append(True) or self.loop.quit())
            self.loop.run()
            if not expired:
                GLib.source_remove(timer)
            self.loop = None

    def _wake(self, *args, **kwargs):
        if self.loop is not None:
            self.loop.quit()
