#!/usr/bin/env python3
# Probes one running copy of the program through its serial port (a pseudo-terminal linked as
# ./COM3 in the current folder) and its datagrams on 127.0.0.1:12345, and prints:
#   lost   N/1000  frames at 100 Hz, each with its own load on sensor 0, whose values never
#                  appear in any datagram;
#   rest   ms      for each of 50 stops of the stream, the time from the last frame written to
#                  the first datagram at rest (median, 90th and 99th percentile, largest);
#   steps  N       the step count the program saves for a walk of the simulator's that is
#                  written at 100 Hz (with --walk FILE, the simulator's --stdout of the walk).
# The program is started by the caller with default settings in this folder after the port
# exists, its process id in ./program.pid; the probe waits for its datagrams, and ends it with
# SIGTERM for the step count.
#   usage: frames-probe.py [--walk FILE]
import os, pty, select, signal, socket, struct, sys, termios, time, tty

walk = sys.argv[sys.argv.index("--walk") + 1] if "--walk" in sys.argv else None

master, slave = pty.openpty()
tty.setraw(slave)
os.symlink(os.ttyname(slave), "COM3")
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
sock.bind(("127.0.0.1", 12345))


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def frame(loads, tick):
    return ("!" + ",".join("%.3f" % v for v in loads) + ",%d\r\n" % tick).encode()


def drain():
    out = []
    while select.select([sock], [], [], 0)[0]:
        out.append((time.monotonic(), sock.recv(512)))
    return out


def fields(d):
    return d.split(b"\n")[0].decode().split(",")


def at_rest(d):
    f = fields(d)
    return all(float(f[i]) == 0.0 for i in (2, 3, 4, 6, 7, 8, 9))


tick = 0


def stream(loads_of, count, period=0.01):
    """Writes count frames on a fixed 100 Hz schedule; returns the time of the last write."""
    global tick
    start = time.monotonic()
    got = []
    last = start
    for k in range(count):
        due = start + k * period
        while True:
            now = time.monotonic()
            if now >= due:
                break
            r = select.select([sock], [], [], due - now)[0]
            if r:
                got.append((time.monotonic(), sock.recv(512)))
        tick += 1
        os.write(master, frame(loads_of(k), tick))
        last = time.monotonic()
    return last, got


# Wait until the program sends, with an empty platform on the line for its tare.
zero = [0.0] * 8
deadline = time.monotonic() + 20
while time.monotonic() < deadline and not select.select([sock], [], [], 0.01)[0]:
    tick += 1
    os.write(master, frame(zero, tick))
stream(lambda k: zero, 100)
drain()

# Lost frames: sensor 0 carries frame k's own load; upperAverage = f(f(load/10)*5)*0.25.
loads = [1.0 + k * 0.001 for k in range(1000)]
_, got = stream(lambda k: [loads[k]] + [0.0] * 7, 1000)
time.sleep(0.3)
got += drain()
seen = {fields(d)[2] for _, d in got}
lost = 0
for v in loads:
    n = f32(f32(f32(float("%.3f" % v)) / 10.0) * 5.0)
    if "%f" % f32(n * 0.25) not in seen:
        lost += 1
print("lost %d/1000" % lost, flush=True)

# Rest latency (50 stops): half a second of frames, then silence until the first datagram at rest.
lat = []
for _ in range(50):
    last, _ = stream(lambda k: [5.0] * 8, 50)
    while True:
        r = select.select([sock], [], [], 2)[0]
        if not r:
            break
        d = sock.recv(512)
        if at_rest(d):
            lat.append((time.monotonic() - last) * 1000)
            break
    time.sleep(0.2)
    drain()
lat.sort()
q = lambda p: lat[min(len(lat) - 1, int(p * len(lat)))]
print("rest ms: median %.0f  p90 %.0f  p99 %.0f  max %.0f  (%d stops)"
      % (q(0.5), q(0.9), q(0.99), lat[-1], len(lat)), flush=True)

if walk:
    data = open(walk, "rb").read()
    frames = [b"!" + f for f in data.split(b"!")[1:]]
    start = time.monotonic()
    got = []
    for k, f in enumerate(frames):
        while time.monotonic() < start + k * 0.01:
            time.sleep(0.001)
            got += drain()
        os.write(master, f)
    time.sleep(0.5)
    got += drain()
    rests = sum(1 for i in range(1, len(got)) if at_rest(got[i][1]) and not at_rest(got[i - 1][1]))
    print("walk: %d datagrams, %d times at rest" % (len(got), rests), flush=True)
    pid = int(open("program.pid").read())
    os.kill(pid, signal.SIGTERM)
    for _ in range(100):
        try:
            os.kill(pid, 0)
            time.sleep(0.1)
        except ProcessLookupError:
            break
    time.sleep(0.3)
    for line in open("tarvel.ini", encoding="latin-1"):
        if line.startswith("numStep="):
            print("steps %s" % line.strip().split("=")[1], flush=True)
