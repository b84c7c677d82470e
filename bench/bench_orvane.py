#!/usr/bin/python3
"""orvane's own figures, measured on a private desktop (Xvfb, trayer, Dovecot):

- start-up: from starting the program to its icon docked in the tray;
- idle CPU: CPU time used while it waits with the check timer at 1 minute against an empty
  mailbox, over ten minutes (goal: under 0.2 s: nothing may poll);
- memory: resident size after start-up, and after a check of 1,000 messages with the popup
  listing them (goal: under 80 MB).

  bench_orvane.py --bin BUILD/bin [--idle-minutes 10]
"""

import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scripts", "lib"))

from desktop_session import Session  # noqa: E402

# No reading, no sound, no popup delay: the figures are the checker's, not the voice's.
QUIET = {"Option2value": "0", "Option3value": "0", "Option4index": "0", "Option8value": "0",
         "Option9value": "0", "Check1value": "0", "Check2value": "0", "Check3value": "0",
         "Check4value": "0"}


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def resident_mb(pid):
    with open(f"/proc/{pid}/status") as file:
        for line in file:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def character(session):
    """The shipped character, loaded (hidden) as at a user's start; a stand-in file where the
    build has none."""
    shipped = os.path.join(session.bin_dir, "..", "share", "velkora", "Msagent", "chars",
                           "AngelMicha.acs")
    if os.path.isfile(shipped):
        return os.path.abspath(shipped)
    path = os.path.join(session.dir, "character.acs")
    with open(path, "wb") as file:
        file.write(b"character")
    return path


def write_messages(folder, count):
    cur = os.path.join(folder, "cur")
    os.makedirs(cur)
    for n in range(1, count + 1):
        with open(os.path.join(cur, f"{1700000000 + n}.M{n}P1.bench:2,S"), "wb") as file:
            file.write((f"From: sender{n}@example.jp\r\nTo: bench@example.jp\r\n"
                        f"Subject: message {n}\r\nDate: Mon, 16 Dec 2024 09:00:00 +0900\r\n"
                        f"\r\nbody line one of {n}\r\nbody line two\r\n").encode())


def measure_start_and_idle(bin_dir, idle_minutes):
    with Session(bin_dir) as session:
        session.start_x()
        session.start_tray()
        empty = os.path.join(session.dir, "empty")
        os.makedirs(os.path.join(empty, "cur"))
        session.start_mail([("idle", "idle-pw", empty)])
        session.write_settings(dict(QUIET, Agentnm=character(session), Checktimerval="1"),
                               [{"name": "idle", "user": "idle", "password": "idle-pw"}])
        started = time.monotonic()
        orvane = session.start_orvane()
        session.wait_tray_icon(timeout=60)
        print(f"start-up to icon shown: {time.monotonic() - started:.2f} s")
        print(f"resident memory after start-up: {resident_mb(orvane.pid):.1f} MB")
        before = cpu_seconds(orvane.pid)
        time.sleep(idle_minutes * 60)
        used = cpu_seconds(orvane.pid) - before
        print(f"CPU time while idle for {idle_minutes} min (checks every minute, empty "
              f"mailbox): {used:.3f} s (goal: under 0.2 s for 10 min)")


def measure_large_check(bin_dir, count):
    with Session(bin_dir) as session:
        session.start_x()
        session.start_tray()
        box = os.path.join(session.dir, "big")
        write_messages(box, count)
        session.start_mail([("big", "big-pw", box)])
        session.write_settings(dict(QUIET, Agentnm=character(session), Option5value="1"),
                               [{"name": "big", "user": "big", "password": "big-pw"}])
        started = time.monotonic()
        orvane = session.start_orvane()
        session.wait_window(f"^{count}通のメールが届いています!$", timeout=600)
        print(f"check of {count} messages to the popup: {time.monotonic() - started:.1f} s")
        print(f"resident memory after the check of {count} messages: "
              f"{resident_mb(orvane.pid):.1f} MB (goal: under 80 MB)")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--idle-minutes", type=float, default=10)
    parser.add_argument("--messages", type=int, default=1000)
    args = parser.parse_args()
    measure_start_and_idle(args.bin, args.idle_minutes)
    measure_large_check(args.bin, args.messages)


if __name__ == "__main__":
    main()
