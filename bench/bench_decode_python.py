#!/usr/bin/python3
"""Python's email package on the replies that bench_decode writes (NUL-separated in one
file): parse each, read From and Subject, take the first plain-text (or HTML) part and decode
its text. Prints "python_mb_s=<MB of input per second>", the best of three rounds."""

import sys
import time
import email
from email import policy


def read_all(replies):
    bodies = 0
    for data in replies:
        # The reply's status line is no header line; Python is handed the message itself.
        msg = email.message_from_bytes(data[data.index(b"\n") + 1:], policy=policy.default)
        str(msg["From"]), str(msg["Subject"])
        part = msg.get_body(("plain", "html"))
        if part is not None and part.get_content():
            bodies += 1
    return bodies


def main():
    with open(sys.argv[1], "rb") as f:
        replies = f.read().split(b"\0")
    total = sum(len(r) for r in replies)
    best = 0.0
    for _ in range(3):
        start = time.perf_counter()
        bodies = read_all(replies)
        best = max(best, total / 1e6 / (time.perf_counter() - start))
    print("python_mb_s=%.3f replies=%d bodies=%d" % (best, len(replies), bodies))


if __name__ == "__main__":
    main()
