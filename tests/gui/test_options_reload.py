"""The options program from orvane's menu: the real quorble, driven by keys as a user would,
sets a check interval and deletes one of two mail accounts; once it has ended, the running
orvane checks the account that is left by itself at that interval and shows its mail."""

import unittest

from guitest import DesktopTest


class OptionsReloadTest(DesktopTest):

    def test_what_quorble_saves_the_running_checker_uses(self):
        self.session.start_x()
        self.session.start_tray()
        accounts = self.start_mail()
        # Two accounts with three and two messages, no periodic check yet; the shipped
        # character, which quorble previews.
        self.session.write_settings({"Agentnm": self.shipped_character(), "Option2value": "0",
                                     "Option4index": "0"}, accounts)
        self.session.start_orvane()
        self.session.wait_tray_icon()

        self.open_main_menu()
        self.session.key("o")  # "OPTION(&O)"
        self.session.wait_focus(self.session.wait_window("^OPTION$", 60))
        # 全般: "分おきにチェック", the first field after the tabs, becomes 1.
        self.session.key("Tab", "ctrl+a")
        self.session.type("1")
        # ｱｶｳﾝﾄ: the first account chosen in the list, then "削除" (written at once); Enter
        # is the dialog's OK, which saves the rest, and quorble ends.
        self.session.key("ctrl+Tab", "ctrl+Tab", "Up", "Tab", "Tab", "Tab", "space")
        with self.session.window_events() as events:
            self.session.key("Return")
            events.wait_for(lambda: not self.session.find_windows("^OPTION$"), 30,
                            "quorble to end")
        settings = self.session.read_settings()
        self.assertEqual((settings["Checktimerval"], settings["accountno"], settings["Uname1"]),
                         ("1", "1", accounts[1]["user"]))

        # Nothing more is done here: at the first minute's tick the reloaded checker checks
        # the one account left, with its two messages.
        self.session.wait_window("^2通のメールが届いています!$", 150)


if __name__ == "__main__":
    unittest.main()
