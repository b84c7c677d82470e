#!/usr/bin/env python3
"""The smallest sequential POP3 client that does the checker's work for one mailbox:
USER, PASS, STAT, TOP n LINES for every message, QUIT. The time from connecting to the QUIT
reply is printed (seconds) together with the process CPU time, so interpreter start-up is
not counted. With a CA file as sixth argument the client speaks TLS from the first byte
(poplib.POP3_SSL), trusting that CA and checking the host name, as the checker does. With
--first N only the first N messages are fetched (a sample of a mailbox on a slow link).

usage: pop3_reference_client.py [--first N] HOST PORT USER PASSWORD LINES [CAFILE]
"""

import poplib
import ssl
import sys
import time


def main():
    args = sys.argv[1:]
    first = None
    if args[:1] == ["--first"]:
        first = int(args[1])
        args = args[2:]
    host, port, user, password, lines = args[:5]
    cafile = args[5] if len(args) > 5 else None
    context = ssl.create_default_context(cafile=cafile) if cafile else None
    cpu_start = time.process_time()
    start = time.perf_counter()
    if context:
        pop = poplib.POP3_SSL(host, int(port), timeout=30, context=context)
    else:
        pop = poplib.POP3(host, int(port), timeout=30)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    fetched = count if first is None else min(first, count)
    octets = 0
    for n in range(1, fetched + 1):
        _, reply_lines, size = pop.top(n, int(lines))
        octets += size
    pop.quit()
    elapsed = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    print("messages={} octets={} seconds={:.6f} cpu={:.6f} fetched={}".format(
        count, octets, elapsed, cpu, fetched))


if __name__ == "__main__":
    main()
