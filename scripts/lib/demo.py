"""The demo: a first run of orvane with nothing configured, against a private Dovecot holding
everyday Japanese mail for two accounts, with a throwaway settings folder (the user's own
settings are never touched).

  demo.py --bin BUILD/bin                  on the current desktop, until "終了(&X)"
  demo.py --bin BUILD/bin --headless OUT   on a private X server with a tray host and a sound
                                           server; writes OUT/screen.png, menu.png, popup.png,
                                           rows.json and reading.wav, then stops everything
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import demo_mail  # noqa: E402
from desktop_session import Session, SessionError  # noqa: E402
from file_events import FolderEvents  # noqa: E402
from png import read_png  # noqa: E402

POPUP_TITLE = "通のメールが届いています!$"


def prepare(session, headless):
    maildirs = os.path.join(session.dir, "mail")
    accounts = demo_mail.write_maildirs(maildirs)
    session.start_mail([(user, password, os.path.join(maildirs, user))
                        for _, user, password, _, _ in accounts])
    settings = {
        "Option5value": "1",  # check right after start-up
        "Option1value": "1",  # the popup
        "Option2value": "1",  # the arrival sound
        "Closetimerval": "0",  # the popup stays until a button is pressed
        # A brisk reading of each mail's first lines, so the whole demo takes two minutes.
        "Talkcnt": "4",
        "Pitchval": "130",
    }
    # The shipped character, or, where this build has none yet, a stand-in file: the voice
    # reads all the same.
    shipped = os.path.join(session.bin_dir, "..", "share", "velkora", "Msagent", "chars",
                           "AngelMicha.acs")
    if not os.path.isfile(shipped):
        stand_in = os.path.join(session.dir, "character.acs")
        with open(stand_in, "wb") as file:
            file.write(b"demo character")
        settings["Agentnm"] = stand_in
    if headless:
        settings["Option3value"] = "0"  # any error of the check shows, and fails the run
    session.write_settings(settings, [
        {"name": name, "user": user, "password": password, "text": text,
         "background": background}
        for name, user, password, text, background in accounts])


def run_live(session):
    print("demo: orvane is in the notification area; choose 終了(&X) from its menu to end.")
    orvane = session.start_orvane()
    status = orvane.wait()
    print(session.log("orvane"), end="")
    return status


def accounts_without_rows(popup):
    """The accounts of the demo whose mail the popup's picture does not show: each account's
    rows have that account's background colour."""
    missing = []
    for name, _, _, _, background in demo_mail.ACCOUNTS:
        rgb = (background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF)
        if popup.count(lambda c: all(abs(a - b) <= 8 for a, b in zip(c, rgb))) < 500:
            missing.append(name)
    return missing


def shows_account_rows(popup):
    return not accounts_without_rows(popup)


def run_headless(session, out):
    os.makedirs(out, exist_ok=True)
    session.start_x()
    session.start_tray()
    session.start_sound()
    recording = os.path.join(out, "reading.wav")
    recorder = session._spawn("parecord", ["parecord", "--device=" + session.sink_monitor,
                                           "--file-format=wav", "--channels=1",
                                           "--rate=22050", recording])
    settings_folder = os.path.dirname(session.settings_file)
    with FolderEvents(settings_folder) as settings_changes:
        orvane = session.start_orvane()
        icon = session.wait_tray_icon(timeout=60)
        popup = session.wait_window(POPUP_TITLE, timeout=90)
        session.screenshot_painted(os.path.join(out, "popup.png"), popup, shows_account_rows)
        # A moment later the character is reading, its first words in the balloon.
        time.sleep(4)
        session.screenshot(os.path.join(out, "screen.png"))
        # The reading is over when the character has been hidden after it: its place is
        # then kept in the settings.
        settings_changes.wait_for(lambda: "DefLeft" in session.read_settings(), 150,
                                  "the end of the reading")
    if orvane.poll() is not None:
        raise SessionError("orvane ended early:\n" + session.log("orvane"))

    # The right-click menu, open over the desktop.
    x, y, w, h = session.tray_icon() or icon
    with session.window_events() as events:
        session.click(x + w // 2, y + h // 2, 3)
        events.wait_for(lambda: menu_open(session), 20, "the menu")
    session.screenshot(os.path.join(out, "menu.png"))
    session.key("Escape")

    recorder.send_signal(signal.SIGINT)
    recorder.wait(timeout=20)

    # The listed mail, as the headless check tool prints it for the same settings.
    check = session.run_program([os.path.join(session.bin_dir, "velkora-check")], timeout=300)
    with open(os.path.join(out, "rows.json"), "wb") as file:
        file.write(check.stdout)
    if check.returncode != 0:
        raise SessionError("velkora-check failed:\n" + check.stderr.decode("utf-8", "replace"))

    orvane.send_signal(signal.SIGTERM)
    if orvane.wait(timeout=20) != 0:
        raise SessionError("orvane did not end cleanly")
    return verify(out)


def menu_open(session):
    out = session.x("xdotool", "search", "--onlyvisible", "--class", "orvane", check=False)
    return any(session.window_name(int(w)) in ("", "orvane")
               and session.window_geometry(int(w))[3] > 100 for w in out.split())


def verify(out):
    """The outputs hold what a person would look for; says what is missing."""
    rows = [json.loads(line) for line in open(os.path.join(out, "rows.json"), encoding="utf-8")
            if line.strip()]
    expected = sum(len(messages) for messages in demo_mail.MAIL.values())
    problems = []
    if len(rows) != expected:
        problems.append(f"rows.json lists {len(rows)} mails, not {expected}")
    # The list keeps the blank after "Subject:", as the checker shows it.
    subjects = {row.get("subject", "").strip() for row in rows}
    for messages in demo_mail.MAIL.values():
        for _, _, subject, _ in messages:
            if subject not in subjects:
                problems.append(f"rows.json lacks the subject {subject}")
    with wave.open(os.path.join(out, "reading.wav")) as sound:
        seconds = sound.getnframes() / sound.getframerate()
        frames = sound.readframes(sound.getnframes())
    loud = sum(1 for i in range(0, len(frames) - 1, 2)
               if abs(int.from_bytes(frames[i:i + 2], "little", signed=True)) > 1000)
    if seconds < 5 or loud < 22050:
        problems.append(f"reading.wav holds {seconds:.1f} s with {loud} loud samples")
    for name in ("screen.png", "menu.png", "popup.png"):
        if os.path.getsize(os.path.join(out, name)) < 1000:
            problems.append(f"{name} is empty")
    popup = read_png(os.path.join(out, "popup.png"))
    for name in accounts_without_rows(popup):
        problems.append(f"popup.png shows no rows in the colours of {name}")
    for problem in problems:
        print("demo: " + problem, file=sys.stderr)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True, help="the build's bin folder")
    parser.add_argument("--headless", metavar="OUTDIR")
    args = parser.parse_args()
    headless = args.headless is not None
    with Session(args.bin, private_desktop=headless) as session:
        try:
            prepare(session, headless)
            if headless:
                status = run_headless(session, os.path.abspath(args.headless))
                print(f"demo: wrote screen.png, menu.png, popup.png, rows.json, reading.wav "
                      f"to {args.headless}")
            else:
                status = run_live(session)
        except (SessionError, TimeoutError, subprocess.TimeoutExpired) as error:
            print(f"demo: {error}", file=sys.stderr)
            print(session.log("orvane"), file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
