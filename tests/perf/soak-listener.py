#!/usr/bin/env python3
# The soak run's datagram listener: takes every datagram on 127.0.0.1:12345 and writes, for
# each second of the wall clock, how many came, how many say "walking" (the lower moving
# average above the walking threshold) and how many carry the values of an empty platform
# (upper, left and right averages all 0); on SIGTERM it writes a summary (counts, the longest
# gap between two datagrams and when it ended, the number of gaps over 50 ms) and ends.
#   usage: soak-listener.py SECONDS_CSV SUMMARY_FILE
import math
import signal
import socket
import sys
import time

csv_path, summary_path = sys.argv[1], sys.argv[2]
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
sock.bind(("127.0.0.1", 12345))
sock.settimeout(0.5)

stopping = False


def stop(*_):
    global stopping
    stopping = True


signal.signal(signal.SIGTERM, stop)
signal.signal(signal.SIGINT, stop)

total = malformed = nonfinite = 0
longest_gap = longest_gap_at = 0.0
slow = 0  # gaps over 50 ms
last_arrival = None
second = None
counts = [0, 0, 0]  # datagrams, walking, empty platform
with open(csv_path, "w", buffering=1) as out:
    out.write("second,datagrams,walking,empty\n")
    while not stopping:
        try:
            data = sock.recv(4096)
        except socket.timeout:
            continue
        except InterruptedError:
            continue
        now = time.time()
        if last_arrival is not None:
            gap = now - last_arrival
            slow += gap > 0.05
            if gap > longest_gap:
                longest_gap, longest_gap_at = gap, now
        last_arrival = now
        this_second = int(now)
        if second is not None and this_second != second:
            out.write(f"{second},{counts[0]},{counts[1]},{counts[2]}\n")
            counts = [0, 0, 0]
        second = this_second
        total += 1
        counts[0] += 1
        fields = data.split(b"\n", 1)[0].split(b",")
        if len(data) != 256 or len(fields) != 17:
            malformed += 1
            continue
        try:
            values = [float(f) for f in fields]
        except ValueError:
            malformed += 1
            continue
        if not all(math.isfinite(v) for v in values):
            nonfinite += 1
            continue
        if values[6] > values[5]:
            counts[1] += 1
        if values[2] == 0 and values[3] == 0 and values[4] == 0:
            counts[2] += 1
    if second is not None:
        out.write(f"{second},{counts[0]},{counts[1]},{counts[2]}\n")

with open(summary_path, "w") as out:
    out.write(f"total={total}\nmalformed={malformed}\nnonfinite={nonfinite}\n")
    out.write(f"longest_gap={longest_gap:.3f}\nlongest_gap_at={int(longest_gap_at)}\n")
    out.write(f"slow_gaps={slow}\n")
