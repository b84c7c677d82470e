#!/usr/bin/env python3
"""The smallest sequential POP3 client that does the checker's work for one mailbox:
USER, PASS, STAT, TOP n LINES for every message, QUIT. The time from connecting to the QUIT
reply is printed (seconds) together with the process CPU time, so interpreter start-up is
not counted.

usage: pop3_reference_client.py HOST PORT USER PASSWORD LINES
"""

import poplib
import sys
import time


def main():
    host, port, user, password, lines = sys.argv[1:6]
    cpu_start = time.process_time()
    start = time.perf_counter()
    pop = poplib.POP3(host, int(port), timeout=30)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    octets = 0
    for n in range(1, count + 1):
        _, reply_lines, size = pop.top(n, int(lines))
        octets += size
    pop.quit()
    elapsed = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    print("messages={} octets={} seconds={:.6f} cpu={:.6f}".format(count, octets, elapsed, cpu))


if __name__ == "__main__":
    main()
