"""orvane's dial-up on NetworkManager (a stand-in on a private system bus with profiles of
several kinds, nothing up): the left-click menu lists the on-demand profiles in reversed order
with "切断(&H)" last, and a manual check dials the configured profile and hangs it up after."""

import unittest

from guitest import DesktopTest
from nm_mock import NetworkManagerMock

# NetworkManager's order. The Wi-Fi is not brought up on demand: no dial-up entry.
PROFILES = [("Mobile", "gsm"), ("Home Wi-Fi", "802-11-wireless"), ("DSL", "pppoe"),
            ("Work VPN", "vpn")]


class DialupTest(DesktopTest):

    def test_menu_lists_the_profiles_and_a_manual_check_dials_and_hangs_up(self):
        self.session.start_x()
        self.session.start_tray()
        nm = NetworkManagerMock(self.session, PROFILES)
        accounts = self.start_mail()
        # "Defdialno" 2 is "Mobile" in the reversed list of dial-up entries; it would be "DSL"
        # in NetworkManager's order, and "Home Wi-Fi" if the Wi-Fi were listed.
        self.session.write_settings({"Agentnm": self.character_file(), "Option2value": "0",
                                     "Defdialno": "2", "Redialval": "0", "Option7value": "1",
                                     "sOption7value": "0"}, accounts)
        self.session.start_orvane()
        self.session.wait_tray_icon()

        def asked(count, what):
            nm.wait_for(lambda: len(nm.events()) >= count and not nm.active(), 30, what)
            return nm.events()

        # The first entry of the menu is the last profile: it comes up.
        self.open_dial_menu()
        self.session.key("Down", "Return")
        nm.wait_for(lambda: nm.events(), 30, "the first entry's activation")
        self.assertEqual(nm.events(), ["activate Work VPN"])
        # The last item, past the separator, is "切断(&H)": it takes the connection down.
        self.open_dial_menu()
        self.session.key("Up", "Return")
        self.assertEqual(asked(2, "the hang-up"), ["activate Work VPN", "deactivate Work VPN"])

        # "ﾒｰﾙﾁｪｯｸ(&L)" with nothing up: "Mobile" is dialled once for both accounts, and hung
        # up after the check, which found the mail.
        self.open_main_menu()
        self.session.key("l")
        self.session.wait_window("^5通のメールが届いています!$", 90)
        self.assertEqual(asked(4, "the hang-up after the check")[2:],
                         ["activate Mobile", "deactivate Mobile"])


if __name__ == "__main__":
    unittest.main()
