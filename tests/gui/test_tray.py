"""orvane on an XEmbed tray (trayer on Xvfb): docking, the two menus, a check against a
private Dovecot with the popup in the accounts' colours, the menu commands, the options
program, a mail program that cannot start, the exit and the second instance."""

import os
import shutil
import stat
import unittest

from guitest import DesktopTest, colour_value_to_rgb, near

POPUP_TITLE = "5通のメールが届いています!"


def yellowish(c):
    return c[0] > 200 and c[1] > 170 and c[2] < 120


def reddish(c):
    return c[0] > 190 and c[1] < 80 and c[2] < 80


class TrayTest(DesktopTest):

    def test_docks_late_and_opens_both_menus(self):
        self.session.start_x()
        self.session.write_settings({"Agentnm": self.character_file()})
        orvane = self.session.start_orvane()
        # No tray yet: it keeps running, says why once, and docks when a tray appears.
        self.session.wait_output("通知領域")
        self.session.start_tray()
        x, y, w, h = self.session.wait_tray_icon()
        self.assertIsNone(orvane.poll())
        self.assertEqual(self.session.log("orvane").count("orvane: 通知領域"), 1)
        icon = self.session.screenshot(self.picture("icon.png"), area=(x, y, w, h))
        # The normal image: a light letter with a dark outline, neither yellow nor red.
        self.assertGreater(icon.count(lambda c: min(c) > 220), 30)
        self.assertGreater(icon.count(lambda c: max(c) < 80), 15)
        self.assertEqual(icon.count(yellowish) + icon.count(reddish), 0)

        menu = self.open_main_menu()
        _, _, width, height = self.session.window_geometry(menu)
        self.assertGreater(height, 150)  # nine items, four separators
        self.session.screenshot(self.picture("menu.png"))
        # "バージョン情報(&A)" by its accelerator: the version window, not modal.
        with self.session.window_events() as events:
            self.session.key("a")
            events.wait_for(lambda: self.session.find_windows("^バージョン情報$"), 20,
                            "the version window")
        self.session.key("Escape")

        # Left click: the dial-up menu, a different and smaller menu.
        before = set(self.menu_windows())
        with self.session.window_events() as events:
            self.session.click(x + w // 2, y + h // 2, 1)
            found = []

            def opened():
                found[:] = [m for m in self.menu_windows() if m not in before]
                return bool(found)

            events.wait_for(opened, 20, "the dial-up menu")
        _, _, dial_width, dial_height = self.session.window_geometry(found[0])
        self.assertLess(dial_height, height / 3)
        self.session.key("Escape")

    def test_check_shows_new_mail_and_the_popup_in_the_accounts_colours(self):
        self.session.start_x()
        self.session.start_tray()
        accounts = self.start_mail()
        self.session.write_settings({"Agentnm": self.character_file(), "Option2value": "0",
                                     "Option3value": "0"}, accounts)
        self.session.start_orvane()
        x, y, w, h = self.session.wait_tray_icon()

        self.open_main_menu()
        with self.session.window_events() as events:
            self.session.key("l")  # "ﾒｰﾙﾁｪｯｸ(&L)"
            popup = []
            events.wait_for(lambda: popup.extend(self.session.find_windows(POPUP_TITLE)) or popup,
                            90, "the popup")
        popup = popup[0]
        self.assertEqual(self.session.window_name(popup), POPUP_TITLE)
        self.check_popup_rows(popup, "popup.png")

        icon = self.session.screenshot(self.picture("icon-new.png"), area=(x, y, w, h))
        self.assertGreater(icon.count(yellowish), 20)
        self.assertGreater(icon.count(reddish), 5)

        # "OK" hides it; "ポップアップ再表示(&P)" brings the same rows back.
        px, py, pw, ph = self.session.window_geometry(popup)
        with self.session.window_events() as events:
            self.session.click(px + pw // 2, py + round(3840 / 15) + 8)
            events.wait_for(lambda: not self.session.find_windows(POPUP_TITLE), 20,
                            "the popup to close")
        self.open_main_menu()
        with self.session.window_events() as events:
            self.session.key("p")
            events.wait_for(lambda: self.session.find_windows(POPUP_TITLE), 20,
                            "the popup again")
        self.check_popup_rows(self.session.find_windows(POPUP_TITLE)[0], "popup-again.png")

        # "ｱｲｺﾝを元に戻す(&C)": the normal image again.
        self.open_main_menu()
        with self.session.window_events() as events:
            self.session.key("c")
            events.wait_for(lambda: not self.menu_windows(), 20, "the menu to close")
        self.session.x("xdotool", "sleep", "0.3")  # the tray redraws after the menu is gone
        icon = self.session.screenshot(self.picture("icon-normal.png"), area=(x, y, w, h))
        self.assertEqual(icon.count(yellowish) + icon.count(reddish), 0)

    def check_popup_rows(self, popup, name):
        # Three rows of the first account, two of the second, each in its own colours; the
        # grid's empty part below them stays white.
        first = colour_value_to_rgb(self.accounts[0]["background"])
        second = colour_value_to_rgb(self.accounts[1]["background"])
        grid = (2, 0, 420, 249)
        picture = self.session.screenshot_painted(
            self.picture(name), popup,
            lambda p: p.count(lambda c: near(c, second), grid) > 2 * 300)
        self.assertEqual((picture.width, picture.height), (429, 328))
        first_rows = picture.count(lambda c: near(c, first), grid)
        second_rows = picture.count(lambda c: near(c, second), grid)
        self.assertGreater(first_rows, 3 * 300)
        self.assertGreater(second_rows, 2 * 300)
        self.assertAlmostEqual(first_rows / second_rows, 3 / 2, delta=0.5)
        # The text of the second account is dark red, of the first black.
        red_text = colour_value_to_rgb(self.accounts[1]["text"])
        self.assertGreater(picture.count(lambda c: near(c, red_text, 40), grid), 50)

    def test_options_program_mail_program_exit_and_second_instance(self):
        self.session.start_x()
        self.session.start_tray()
        # orvane runs from a folder of its own with a stand-in options program beside it,
        # which sets a mail program that does not exist.
        folder = os.path.join(self.session.dir, "bin")
        os.makedirs(folder)
        orvane = os.path.join(folder, "orvane")
        shutil.copy2(os.path.join(self.session.bin_dir, "orvane"), orvane)
        share = os.path.join(self.session.bin_dir, "..", "share")
        if os.path.isdir(share):
            os.symlink(os.path.abspath(share), os.path.join(self.session.dir, "share"))
        missing = os.path.join(self.session.dir, "no-such-mailer.exe")
        options = os.path.join(folder, "quorble")
        # First the way out of the first-run prompt: with no character file set and no
        # options program to set one, a box names where it was looked for, and orvane ends.
        self.session.write_settings({"Agentnm": ""})
        process = self.session.start_orvane(orvane)
        prompt = self.session.wait_window("^Velkora$", 30)
        self.session.screenshot(self.picture("prompt.png"), window=prompt)
        with self.session.window_events() as events:
            self.session.key("Return")
            events.wait_for(lambda: set(self.session.find_windows("^Velkora$")) - {prompt}, 20,
                            "the box that names the options program")
        self.session.screenshot(self.picture("no-options.png"))
        self.session.key("Return")
        self.assertEqual(process.wait(timeout=20), 1)

        with open(options, "w") as file:
            file.write("#!/bin/sh\n"
                       f"printf 'Mailerdir1=\"{missing}\"\\n' >> \"$XDG_CONFIG_HOME/velkora/orvane.ini\"\n"
                       "touch \"$XDG_CONFIG_HOME/options-ran\"\n")
        os.chmod(options, os.stat(options).st_mode | stat.S_IXUSR)
        self.session.write_settings({"Agentnm": self.character_file()})
        process = self.session.start_orvane(orvane)
        self.session.wait_tray_icon()

        self.open_main_menu()
        self.session.key("o")  # "OPTION(&O)": runs the stand-in and reloads
        with self.session.window_events() as events:
            self.open_main_menu()
            # The reloaded "Mailerdir1" enabled "Mailer"(1) in the second item's submenu.
            self.session.key("Down", "Down", "Right", "Return")
            events.wait_for(lambda: self.session.find_windows("^Velkora$"), 20,
                            "the box about the mail program")
        self.assertTrue(os.path.exists(os.path.join(self.session.config_home, "options-ran")))
        box = self.session.find_windows("^Velkora$")[0]
        self.session.screenshot(self.picture("mailer-box.png"), window=box)
        with self.session.window_events() as events:
            self.session.key("Return")
            events.wait_for(lambda: not self.session.find_windows("^Velkora$"), 20,
                            "the box to close")
        self.assertIsNone(process.poll())

        # A second orvane ends at once and touches nothing.
        before = open(self.session.settings_file, "rb").read()
        second = self.session.run_program([orvane], timeout=30)
        self.assertNotEqual(second.returncode, 0)
        self.assertIn("すでに起動しています", second.stderr.decode())
        self.assertEqual(open(self.session.settings_file, "rb").read(), before)
        self.assertIsNone(process.poll())

        # "終了(&X)": the icon goes and the program ends with status 0.
        self.open_main_menu()
        self.session.key("x")
        self.assertEqual(process.wait(timeout=20), 0)
        self.assertIsNone(self.session.tray_icon())


if __name__ == "__main__":
    unittest.main()
