"""orvane with a StatusNotifierItem host (as KDE Plasma or GNOME's AppIndicator extension
offer), without a desktop: a watcher on a private session bus stands in for the host. The
icon registers, its main menu is read over D-Bus with the exact captions and states, a menu
item is activated, and the primary activation opens the dial-up menu."""

import subprocess
import unittest

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

from guitest import DesktopTest

WATCHER = "org.kde.StatusNotifierWatcher"
MOCK = "org.freedesktop.DBus.Mock"

MAIN_MENU = [
    ("ﾒｰﾙﾁｪｯｸ(_L)", True),
    ("ﾒｰﾗｰ起動", True, [("未登録", False), ("未登録", False)]),
    ("ｱｲｺﾝを元に戻す(_C)", True),
    "-",
    ("再度読み上げ(_T)", False),
    ("ポップアップ再表示(_P)", False),
    "-",
    ("OPTION(_O)", True),
    "-",
    ("バージョン情報(_A)", True),
    "-",
    ("終了(_X)", True),
]


def layout_items(node):
    """The menu layout as MAIN_MENU writes it."""
    items = []
    for child in node[2]:
        _, properties, children = child
        if properties.get("type") == "separator":
            items.append("-")
            continue
        entry = (str(properties["label"]), bool(properties.get("enabled", True)))
        if children:
            entry += (layout_items(child),)
        items.append(entry)
    return items


class StatusNotifierTest(DesktopTest):

    def setUp(self):
        super().setUp()
        self.session.start_x()
        address = self.session.start_bus()
        self.watcher = self.session._spawn(
            "watcher", [self.session.env.get("VELKORA_PYTHON", "/usr/bin/python3"), "-m",
                        "dbusmock", WATCHER, "/StatusNotifierWatcher", WATCHER])
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        self.bus = dbus.bus.BusConnection(address)
        self.wait_for_name(WATCHER)
        mock = dbus.Interface(self.bus.get_object(WATCHER, "/StatusNotifierWatcher"), MOCK)
        mock.AddProperty(WATCHER, "IsStatusNotifierHostRegistered", True)
        mock.AddProperty(WATCHER, "ProtocolVersion", dbus.Int32(0))
        mock.AddProperty(WATCHER, "RegisteredStatusNotifierItems", dbus.Array([], "s"))
        mock.AddMethod(WATCHER, "RegisterStatusNotifierItem", "s", "", "")
        mock.AddMethod(WATCHER, "RegisterStatusNotifierHost", "s", "", "")

    def wait_for_name(self, name, timeout=20):
        """Runs the bus's loop until `name` has an owner."""
        loop = GLib.MainLoop()
        watch = self.bus.watch_name_owner(name, lambda owner: owner and loop.quit())
        GLib.timeout_add_seconds(timeout, loop.quit)
        loop.run()
        watch.cancel()
        self.assertTrue(self.bus.name_has_owner(name), f"{name} did not appear")

    def wait_for_registration(self, timeout=30):
        """Runs the bus's loop until the watcher is asked to register an item; its sender."""
        loop = GLib.MainLoop()
        senders = []

        def called(method, arguments, sender=None):
            if method == "RegisterStatusNotifierItem":
                senders.append(sender)
                loop.quit()

        match = self.bus.add_signal_receiver(called, "MethodCalled", MOCK, None,
                                             "/StatusNotifierWatcher", sender_keyword="sender")
        GLib.timeout_add_seconds(timeout, loop.quit)
        loop.run()
        match.remove()
        self.assertTrue(senders, "the icon did not register with the watcher")
        # The item lives at the caller's own bus name.
        return self.bus.get_object(WATCHER, "/StatusNotifierWatcher").GetCalls(
            dbus_interface=MOCK)

    def test_menu_over_dbus_and_activation(self):
        self.session.write_settings({"Agentnm": self.character_file()})
        orvane = self.session.start_orvane()
        calls = self.wait_for_registration()
        # The item's service: the unique name that registered it.
        service = str([c for c in calls if c[1] == "RegisterStatusNotifierItem"][0][2][0])
        item = self.bus.get_object(service, "/StatusNotifierItem")
        properties = dbus.Interface(item, "org.freedesktop.DBus.Properties")
        tip = properties.Get("org.kde.StatusNotifierItem", "ToolTip")
        self.assertEqual(str(tip[2]), "Velkora")
        self.assertTrue(properties.Get("org.kde.StatusNotifierItem", "IconPixmap"))

        menu_path = properties.Get("org.kde.StatusNotifierItem", "Menu")
        menu = dbus.Interface(self.bus.get_object(service, menu_path), "com.canonical.dbusmenu")
        _, layout = menu.GetLayout(0, -1, ["label", "enabled", "type"])
        self.assertEqual(layout_items(layout), MAIN_MENU)

        # "バージョン情報(&A)" clicked through the host: the version window opens.
        version_id = [child[0] for child in layout[2]
                      if child[1].get("label") == "バージョン情報(_A)"][0]
        with self.session.window_events() as events:
            menu.Event(version_id, "clicked", dbus.String("", variant_level=1), 0)
            events.wait_for(lambda: self.session.find_windows("^バージョン情報$"), 20,
                            "the version window")

        # The primary activation opens the dial-up menu, whose one visible item is "切断(&H)".
        self.session.x("xdotool", "mousemove", "500", "300")
        with self.session.window_events() as events:
            item.Activate(500, 300, dbus_interface="org.kde.StatusNotifierItem")
            found = []
            events.wait_for(lambda: found.extend(self.menu_windows()) or found, 20,
                            "the dial-up menu")
        x, y, w, h = self.session.window_geometry(found[0])
        self.assertEqual((x, y), (500, 300))
        self.session.key("Escape")

        # "終了(&X)" from the host's menu: the item leaves the bus and the program ends with 0.
        exit_id = [child[0] for child in layout[2]
                   if child[1].get("label") == "終了(_X)"][0]
        menu.Event(exit_id, "clicked", dbus.String("", variant_level=1), 0)
        self.assertEqual(orvane.wait(timeout=20), 0)
        self.assertFalse(self.bus.name_has_owner(service))


if __name__ == "__main__":
    unittest.main()
