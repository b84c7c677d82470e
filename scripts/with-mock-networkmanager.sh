#!/bin/bash
# Runs a command (orvane, quorble, a test) against a stand-in NetworkManager on a private
# system bus, for trying the dial-up by hand:
#   scripts/with-mock-networkmanager.sh build/release/bin/orvane
# Profiles: "Home Wi-Fi" (Wi-Fi), "Mobile" (gsm), "DSL" (pppoe), "Work VPN" (vpn); nothing is
# up unless ONLINE=1, which brings the Wi-Fi up. Activations come up after a moment; the
# stand-in's record of requests is printed when the command ends.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TEMPLATE="$ROOT/tests/checker/dialup/mock_networkmanager.py"
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

dir="$(mktemp -d)"
bus_pid=""
mock_pid=""
cleanup() {
    [ -n "$mock_pid" ] && kill "$mock_pid" 2>/dev/null || true
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

cat > "$dir/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:dir=$dir</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
mkfifo "$dir/address"
dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile --print-address=1 > "$dir/address" &
bus_pid=$!
read -r address < "$dir/address"
export DBUS_SYSTEM_BUS_ADDRESS="$address"

state=20
[ "${ONLINE:-0}" = 1 ] && state=70
/usr/bin/python3 -m dbusmock --system --template "$TEMPLATE" --parameters "{\"State\": $state}" \
    > "$dir/mock.log" &
mock_pid=$!
# Sleeps until the stand-in owns NetworkManager's name.
/usr/bin/python3 - <<'PY'
import dbus
import dbus.mainloop.glib
from gi.repository import GLib
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
loop = GLib.MainLoop()
dbus.SystemBus().watch_name_owner('org.freedesktop.NetworkManager',
                                  lambda owner: owner and loop.quit())
loop.run()
PY

mock() {
    dbus-send --system --print-reply=literal --dest=org.freedesktop.NetworkManager \
        /org/freedesktop/NetworkManager "org.freedesktop.DBus.Mock.$@"
}
mock AddProfile "string:Home Wi-Fi" string:802-11-wireless string: >/dev/null
mock AddProfile string:Mobile string:gsm string: >/dev/null
mock AddProfile string:DSL string:pppoe string: >/dev/null
mock AddProfile "string:Work VPN" string:vpn string: >/dev/null
[ "$state" = 70 ] && mock BringUp "string:Home Wi-Fi" >/dev/null

status=0
"$@" || status=$?
echo "NetworkManager stand-in was asked for:"
mock Events
exit $status
