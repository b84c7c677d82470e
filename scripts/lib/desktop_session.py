"""A private desktop for running orvane without touching the user's own: an X server (Xvfb), a
tray host (trayer), a sound server with a null output (PulseAudio), a session bus, a POP3
server (Dovecot), throwaway settings and cache folders, and orvane itself, all in one temporary
folder and all stopped together. Used by the demo's headless run and by the GUI tests.

Waiting is event-driven: window changes are awaited through the X server's own notifications
(velkora-xevents on the root window), processes through their exit, servers through the line they print
when ready.
"""

import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time

from png import read_png


class SessionError(RuntimeError):
    pass


def _needs(program):
    path = shutil.which(program)
    if path is None:
        raise SessionError(f"{program} is not installed (scripts/setup.sh installs it)")
    return path


def ini_value(text):
    """A value in the settings file's form: quoted, with the file's escapes."""
    out = []
    for ch in text:
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append(f"\\x{ord(ch):02X}")
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def scrambled_password(password):
    """The stored form of a password: each character's signed 16-bit code page 932 code in
    decimal, each followed by a space."""
    parts = []
    for ch in password:
        code = int.from_bytes(ch.encode("cp932"), "big")
        if code > 0x7FFF:
            code -= 0x10000
        parts.append(f"{code} ")
    return "".join(parts)


def int16(value):
    """A port or colour as the signed 16-bit number the settings hold."""
    return value - 0x10000 if value > 0x7FFF else value


class Session:
    def __init__(self, bin_dir, keep=False, private_desktop=True):
        """private_desktop False keeps the user's display, session bus and sound server (the
        demo on the user's desktop); the settings are private either way."""
        self.bin_dir = os.path.abspath(bin_dir)
        self.dir = tempfile.mkdtemp(prefix="velkora-desktop-")
        os.chmod(self.dir, 0o700)
        self.keep = keep
        self.processes = []  # (name, Popen), stopped in reverse order
        self.config_home = os.path.join(self.dir, "config")
        self.runtime_dir = os.path.join(self.dir, "runtime")
        os.makedirs(self.runtime_dir, mode=0o700)
        # The replies orvane keeps between checks go to the throwaway folder too.
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config_home,
                        XDG_CACHE_HOME=os.path.join(self.dir, "cache"))
        if private_desktop:
            for name in ("DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "WAYLAND_DISPLAY",
                         "DISPLAY", "SESSION_MANAGER"):
                self.env.pop(name, None)
            self.env.update({
                "XDG_RUNTIME_DIR": self.runtime_dir,
                "QT_QPA_PLATFORM": "xcb",
                # No session bus unless start_bus() makes a private one: never the user's.
                "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-bus"),
                # Nor the machine's services (NetworkManager's dial-up among them).
                "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=" + os.path.join(self.dir, "no-system-bus"),
                "LANG": "C.UTF-8",
            })
        self.display = None
        self.pop3_port = None
        self.orvane = None
        self.sink_monitor = None

    # -- lifetime -------------------------------------------------------------------------

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _spawn(self, name, args, **kwargs):
        kwargs.setdefault("env", self.env)
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        if "stdout" not in kwargs:
            kwargs["stdout"] = open(os.path.join(self.dir, name + ".log"), "wb")
            kwargs["stderr"] = subprocess.STDOUT
        process = subprocess.Popen(args, start_new_session=True, **kwargs)
        self.processes.append((name, process))
        return process

    def stop(self):
        for name, process in reversed(self.processes):
            if process.poll() is None:
                try:
                    os.killpg(process.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        self.processes = []
        if not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def log(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), "rb") as file:
                return file.read().decode("utf-8", "replace")
        except OSError:
            return ""

    # -- servers --------------------------------------------------------------------------

    def start_x(self, width=1024, height=768):
        read_end, write_end = os.pipe()
        self._spawn("xvfb", [_needs("Xvfb"), "-displayfd", str(write_end), "-screen", "0",
                             f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
                    pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    raise SessionError("Xvfb did not start:\n" + self.log("xvfb"))
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display
        return self.display

    def start_tray(self):
        before = self._tray_panel()
        with self.window_events() as events:
            self._spawn("trayer", [_needs("trayer"), "--edge", "bottom", "--align", "right",
                                   "--widthtype", "request", "--height", "24",
                                   "--SetDockType", "true", "--transparent", "false",
                                   "--tint", "0x303030"])
            events.wait_for(lambda: self._tray_panel() is not None, 20, "trayer's panel")
        del before

    def start_sound(self):
        """A PulseAudio server of our own with a null output; its monitor records what plays."""
        folder = os.path.join(self.dir, "pulse")
        os.makedirs(folder, mode=0o700)
        socket = os.path.join(folder, "native")
        env = dict(self.env, HOME=folder, XDG_RUNTIME_DIR=folder)
        process = self._spawn(
            "pulseaudio",
            [_needs("pulseaudio"), "--daemonize=no", "--use-pid-file=no", "--system=no", "-n",
             "--realtime=no", "--high-priority=no", "--exit-idle-time=-1",
             "--log-target=stderr", "--log-level=info",
             "-L", f"module-native-protocol-unix auth-anonymous=1 socket={socket}",
             "-L", "module-null-sink sink_name=velkora_demo"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        log = b""
        while b"Daemon startup complete" not in log:
            chunk = process.stderr.read1(4096)
            if not chunk:
                raise SessionError("pulseaudio did not start:\n" + log.decode("utf-8", "replace"))
            log += chunk
        # The rest of its log is not needed; it must not fill the pipe.
        self._drain(process.stderr)
        self.env["PULSE_SERVER"] = "unix:" + socket
        self.sink_monitor = "velkora_demo.monitor"

    @staticmethod
    def _drain(stream):
        import threading

        def read_all():
            while stream.read1(65536):
                pass

        threading.Thread(target=read_all, daemon=True).start()

    def start_bus(self, system=False):
        """A private session bus; with system, a private bus that the programs take for the
        system bus (where a stand-in NetworkManager can live)."""
        process = self._spawn("system-bus" if system else "dbus",
                              [_needs("dbus-daemon"), "--session", "--nofork",
                               "--print-address=1"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
        address = process.stdout.readline().decode().strip()
        if not address:
            raise SessionError("dbus-daemon did not start")
        self.env["DBUS_SYSTEM_BUS_ADDRESS" if system else "DBUS_SESSION_BUS_ADDRESS"] = address
        return address

    def start_mail(self, mailboxes):
        """A private Dovecot on 127.0.0.1: mailboxes is a list of (user, password, maildir)."""
        tool = os.path.join(self.bin_dir, "velkora-test-dovecot")
        args = [tool] + [f"{user}:{password}:{maildir}" for user, password, maildir in mailboxes]
        # Its standard input stays open as long as we live: closing it stops the server.
        process = self._spawn("dovecot", args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=open(os.path.join(self.dir, "dovecot.log"), "wb"))
        line = process.stdout.readline().decode()
        match = re.match(r"port (\d+)", line)
        if not match:
            raise SessionError("Dovecot did not start:\n" + self.log("dovecot"))
        self.pop3_port = int(match.group(1))
        return self.pop3_port

    # -- settings and the program ---------------------------------------------------------

    @property
    def settings_file(self):
        return os.path.join(self.config_home, "velkora", "orvane.ini")

    def write_settings(self, values, accounts=()):
        """Writes the throwaway settings: values is a dict of keys; accounts a list of dicts
        with name, user, password, text and background colours (0x00BBGGRR)."""
        lines = ["[setting]"]
        all_values = dict(values)
        if accounts:
            all_values["accountno"] = str(len(accounts))
        for number, account in enumerate(accounts, start=1):
            all_values.update({
                f"Aname{number}": account["name"],
                f"Hname{number}": account.get("host", "127.0.0.1"),
                f"Portno{number}": str(int16(account.get("port", self.pop3_port))),
                f"Uname{number}": account["user"],
                f"Passw{number}": scrambled_password(account["password"]),
                f"Check{number}": str(account.get("check", 1)),
                f"Scolor1{number}": str(account.get("text", 0)),
                f"Scolor2{number}": str(account.get("background", 0xFFFF80)),
            })
        for key, value in all_values.items():
            lines.append(f"{key}={ini_value(str(value))}")
        os.makedirs(os.path.dirname(self.settings_file), mode=0o700, exist_ok=True)
        with open(self.settings_file, "w", encoding="utf-8") as file:
            file.write("\n".join(lines) + "\n")

    def read_settings(self):
        values = {}
        with open(self.settings_file, encoding="utf-8") as file:
            for line in file:
                match = re.match(r'^([^=\[;#]+)="(.*)"\s*$', line.rstrip("\n"))
                if match:
                    values[match.group(1)] = match.group(2)
        return values

    def start_orvane(self, program=None, name="orvane"):
        """Starts orvane; its output is collected (log(name), wait_output())."""
        program = program or os.path.join(self.bin_dir, "orvane")
        self.orvane = self._spawn(name, [program], stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT)
        self._collect_output(name, self.orvane.stdout)
        return self.orvane

    def _collect_output(self, name, stream):
        import threading

        log_path = os.path.join(self.dir, name + ".log")
        self._output_changed = threading.Condition()

        def collect():
            with open(log_path, "ab") as log:
                while True:
                    chunk = stream.read1(65536)
                    with self._output_changed:
                        if chunk:
                            log.write(chunk)
                            log.flush()
                        self._output_changed.notify_all()
                    if not chunk:
                        return

        threading.Thread(target=collect, daemon=True).start()

    def wait_output(self, text, timeout=30, name="orvane"):
        """Waits until orvane's output holds the text."""
        with self._output_changed:
            if not self._output_changed.wait_for(lambda: text in self.log(name), timeout):
                raise SessionError(f"timed out waiting for {text!r} from {name}")

    def run_program(self, args, timeout=60):
        return subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)

    # -- the screen -----------------------------------------------------------------------

    def x(self, *args, check=True):
        result = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                                timeout=30)
        if check and result.returncode != 0:
            raise SessionError(f"{args[0]} failed: {result.stderr}")
        return result.stdout

    def window_events(self, *focus_windows):
        """Notifications of window changes, and of the focus coming to or leaving the given
        windows."""
        return WindowEvents(self, focus_windows)

    def find_windows(self, name_pattern):
        """Visible top-level windows whose title matches the pattern (xdotool's regex)."""
        out = self.x("xdotool", "search", "--onlyvisible", "--name", name_pattern, check=False)
        return [int(w) for w in out.split()]

    def wait_window(self, name_pattern, timeout=60):
        found = []

        def present():
            found[:] = self.find_windows(name_pattern)
            return bool(found)

        with self.window_events() as events:
            events.wait_for(present, timeout, f"a window named {name_pattern!r}")
        return found[0]

    def wait_focus(self, window, timeout=30):
        """Waits until the window has the keyboard focus, which its program takes itself."""
        def focused():
            out = self.x("xdotool", "getwindowfocus", check=False).strip()
            return out.isdigit() and int(out) == window

        with self.window_events(window) as events:
            events.wait_for(focused, timeout, "the keyboard focus")

    def window_geometry(self, window):
        out = self.x("xdotool", "getwindowgeometry", "--shell", str(window))
        values = dict(line.split("=", 1) for line in out.split())
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def window_name(self, window):
        return self.x("xdotool", "getwindowname", str(window)).rstrip("\n")

    def tree(self):
        return self.x("xwininfo", "-root", "-tree")

    def _tray_panel(self):
        for line in self.tree().splitlines():
            if '("panel" "trayer")' in line:
                return line
        return None

    def tray_icon(self):
        """(x, y, width, height) on screen of orvane's icon docked in trayer, once the panel
        has made room for it (the icon lies inside the panel), else None."""
        geometry = re.compile(r"(\d+)x(\d+)[+-]\d+[+-]\d+\s+\+(-?\d+)\+(-?\d+)")
        panel = None
        panel_indent = 0
        for line in self.tree().splitlines():
            indent = len(line) - len(line.lstrip())
            match = geometry.search(line)
            if '("panel" "trayer")' in line and match:
                w, h, x, y = map(int, match.groups())
                panel, panel_indent = (x, y, w, h), indent
                continue
            if panel and indent <= panel_indent:
                panel = None
            if panel and '("orvane" "orvane")' in line and match:
                w, h, x, y = map(int, match.groups())
                px, py, pw, ph = panel
                if px <= x and x + w <= px + pw and py <= y and y + h <= py + ph:
                    return (x, y, w, h)
        return None

    def wait_tray_icon(self, timeout=30):
        found = []

        def docked():
            icon = self.tray_icon()
            if icon:
                found.append(icon)
            return bool(icon)

        with self.window_events() as events:
            events.wait_for(docked, timeout, "orvane's icon in the tray")
        return found[0]

    def click(self, x, y, button=1):
        # No --sync: the server handles the move before the press all the same, and xdotool's
        # wait for the move stalled for 15 seconds when the pointer already stood there.
        self.x("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def key(self, *keys):
        self.x("xdotool", "key", *keys)

    def type(self, text):
        """Types the text into the window that has the keyboard focus."""
        self.x("xdotool", "type", "--delay", "20", text)

    def screenshot_painted(self, path, window, painted, timeout=30):
        """Saves the window's picture once `painted` holds for it: a window is mapped before
        its program has drawn it, so the condition is tested now and after each paint."""
        shot = []

        def ready():
            shot[:] = [self.screenshot(path, window=window)]
            return painted(shot[0])

        with self.window_events(window) as events:
            events.wait_for(ready, timeout, "the window's picture")
        return shot[0]

    def screenshot(self, path, window=None, area=None):
        """Saves the screen, one window, or an area (x, y, width, height) and returns the
        picture."""
        args = [os.path.join(self.bin_dir, "velkora-screenshot"), path]
        if window is not None:
            args.append(str(window))
        elif area is not None:
            args.append(",".join(str(v) for v in area))
        result = self.run_program(args)
        if result.returncode != 0:
            raise SessionError("screenshot failed: " + result.stderr.decode())
        return read_png(path)


class WindowEvents:
    """The X server's notifications of windows appearing, vanishing and moving, for waiting
    until a condition holds without polling: the condition is tested now and after each
    notification."""

    def __init__(self, session, focus_windows=()):
        self.session = session
        self.focus_windows = focus_windows
        self.process = None

    def __enter__(self):
        self.process = subprocess.Popen(
            [os.path.join(self.session.bin_dir, "velkora-xevents")]
            + [str(window) for window in self.focus_windows], env=self.session.env,
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            bufsize=0)
        # It says "ready" once it listens: from then on no change can go unnoticed.
        if self.process.stdout.readline() != b"ready\n":
            raise SessionError("velkora-xevents cannot listen to the display")
        return self

    def __exit__(self, *exc):
        self.process.kill()
        self.process.wait()

    def wait_for(self, condition, timeout, what):
        deadline = time.monotonic() + timeout
        while not condition():
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise SessionError(f"timed out waiting for {what}")
            readable, _, _ = select.select([self.process.stdout], [], [], remaining)
            if readable and not os.read(self.process.stdout.fileno(), 65536):
                raise SessionError("velkora-xevents ended")
