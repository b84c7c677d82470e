"""Shared set-up of the GUI tests: a private desktop with a tray host, a Dovecot holding the
demo's Japanese mail, and orvane with a throwaway settings folder."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))

import demo_mail  # noqa: E402
from desktop_session import Session  # noqa: E402

BIN_DIR = os.environ.get("VELKORA_BIN_DIR", "")


def colour_value_to_rgb(value):
    return (value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF)


def near(colour, expected, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class DesktopTest(unittest.TestCase):
    """Each test gets a fresh desktop; the mail is the demo's two accounts."""

    def setUp(self):
        if not BIN_DIR:
            self.fail("VELKORA_BIN_DIR names the build's bin folder")
        self.session = Session(BIN_DIR, keep=bool(os.environ.get("VELKORA_KEEP_DESKTOP")))
        self.addCleanup(self.session.stop)
        self.pictures = tempfile.mkdtemp(prefix="velkora-pictures-", dir=self.session.dir)

    def start_mail(self):
        maildirs = os.path.join(self.session.dir, "mail")
        accounts = demo_mail.write_maildirs(maildirs)
        self.session.start_mail([(user, password, os.path.join(maildirs, user))
                                 for _, user, password, _, _ in accounts])
        self.accounts = [{"name": name, "user": user, "password": password, "text": text,
                          "background": background}
                         for name, user, password, text, background in accounts]
        return self.accounts

    def character_file(self):
        """A character file that exists, so no start-up box asks for one."""
        path = os.path.join(self.session.dir, "character.acs")
        with open(path, "wb") as file:
            file.write(b"character")
        return path

    def picture(self, name):
        return os.path.join(self.pictures, name)

    def shipped_character(self):
        """The character file that comes with the programs."""
        return os.path.join(self.session.bin_dir, "..", "share", "velkora", "Msagent", "chars",
                            "AngelMicha.acs")

    def open_main_menu(self):
        """Right-clicks the tray icon; returns the menu's window once it is on screen."""
        return self.open_tray_menu(3)

    def open_dial_menu(self):
        """Left-clicks the tray icon: the dial-up menu."""
        return self.open_tray_menu(1)

    def open_tray_menu(self, button):
        x, y, w, h = self.session.tray_icon()
        # Two quick clicks on one spot would make a double click: each click goes to the other
        # half of the icon, farther from the last one than a double click may stray.
        self.tray_clicks = getattr(self, "tray_clicks", 0) + 1
        spot = x + w // 4 if self.tray_clicks % 2 else x + w - w // 4
        before = set(self.menu_windows())
        with self.session.window_events() as events:
            self.session.click(spot, y + h // 2, button)
            found = []

            def opened():
                found[:] = [m for m in self.menu_windows() if m not in before]
                return bool(found)

            events.wait_for(opened, 20, "the menu")
        return found[0]

    def menu_windows(self):
        """orvane's popup menus on screen: its untitled windows, wider than the tool tip."""
        out = self.session.x("xdotool", "search", "--onlyvisible", "--class", "orvane",
                             check=False)
        return [int(w) for w in out.split()
                if self.session.window_name(int(w)) in ("", "orvane")
                and self.session.window_geometry(int(w))[2] >= 100]
