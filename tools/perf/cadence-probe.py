#!/usr/bin/env python3
# Runs one copy of the program against the simulator walking at several cadences and reads its
# forward output twice: the OSC /input/Vertical messages on UDP and the OpenXR layer's block
# (polled every millisecond). Prints, per cadence, the steady values against the speed curve,
# the dropouts, the stop latency at each walk -> stand, and the time and steps the output takes
# to follow a step change 100 -> 170. Called by measure-cadence.sh in a scratch folder with
# DISPLAY and XDG_RUNTIME_DIR set.
#   usage: cadence-probe.py PROGRAM SIMULATOR LABEL
import os, mmap, select, socket, struct, subprocess, sys, threading, time

program, simulator, label = sys.argv[1:4]
OSC_PORT = 9123
FB, RUN_SPEED, WALK_C, RUN_C = 0.25, 1.0, 100.0, 170.0
WARM, STEADY, STAND = 3.0, 10.0, 4.0
CADENCES = [80, 100, 130, 170, 200]
# Each cadence walked WARM + STEADY seconds, then STAND seconds standing; then the step change.
segments = []
for c in CADENCES:
    segments += [("walk", c, WARM + STEADY), ("stand", 0, STAND)]
segments += [("walk", 100, 10.0), ("walk", 170, 10.0), ("stand", 0, STAND)]
sequence = ",".join("walk@%d:%g" % (c, s) if k == "walk" else "stand:%g" % s
                    for k, c, s in segments)
total = sum(s for _, _, s in segments)


def curve(c):
    if c <= WALK_C:
        return FB
    if c >= RUN_C:
        return RUN_SPEED
    return FB + (RUN_SPEED - FB) * (c - WALK_C) / (RUN_C - WALK_C)


with open("tarvel.ini", "w", newline="") as f:
    f.write("[osc]\r\nenabled=1\r\nport=%d\r\n[openxr]\r\nenabled=1\r\n" % OSC_PORT)

osc = []    # (time, vertical)
block = []  # (time, vertical) whenever the block's value changed
stop = threading.Event()


def listen():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", OSC_PORT))
    while not stop.is_set():
        if not select.select([s], [], [], 0.1)[0]:
            continue
        data = s.recv(512)
        t = time.monotonic()
        end = data.index(b"\0")
        if data[:end] == b"/input/Vertical":
            osc.append((t, struct.unpack(">f", data[-4:])[0]))


def poll():
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], "tarvel-xr-walk")
    while not os.path.exists(path) and not stop.is_set():
        time.sleep(0.01)
    with open(path, "rb") as f:
        m = mmap.mmap(f.fileno(), 4096, prot=mmap.PROT_READ)
    last = None
    while not stop.is_set():
        s1 = struct.unpack_from("<I", m, 8)[0]
        v = struct.unpack_from("<f", m, 24)[0]
        if s1 % 2 == 0 and struct.unpack_from("<I", m, 8)[0] == s1 and v != last:
            block.append((time.monotonic(), v))
            last = v
        time.sleep(0.001)


threads = [threading.Thread(target=listen), threading.Thread(target=poll)]
for t in threads:
    t.start()
sim = subprocess.Popen([simulator, "--port", "3", "--sequence", sequence],
                       stderr=subprocess.PIPE, text=True)
while not os.path.exists("COM3"):
    time.sleep(0.02)
prog = subprocess.Popen([program], stderr=subprocess.DEVNULL)
attached = None
for line in sim.stderr:
    if "reader attached" in line:
        attached = time.monotonic()
        break
start = attached + 1.0  # after the simulator's second of settle frames
time.sleep(max(0.0, start + total - 1.0 - time.monotonic()))
prog.terminate()
prog.wait()
sim.terminate()
sim.wait()
stop.set()
for t in threads:
    t.join()


def values(series, a, b):
    return [v for t, v in series if a <= t < b]


def at_rest_after(series, b, held):
    # The first time from b on that the value is 0, the value `held` before it still counting
    # for the block (which records changes only).
    for t, v in series:
        if t >= b and v == 0.0:
            return t - b
    return float("nan")


print("%s: OSC /input/Vertical and the OpenXR block's vertical, 10 s of steady walking each" % label)
t = start
stops = []
for kind, c, seconds in segments[:2 * len(CADENCES)]:
    if kind == "walk":
        a, b = t + WARM, t + seconds
        want = curve(c)
        for name, series in (("OSC", osc), ("block", block)):
            v = values(series, a, b)
            if name == "block":  # the value holding at a, then its changes
                v = [x for tt, x in series if tt < a][-1:] + v
            if not v:
                print("  %3d/min %-5s no values" % (c, name))
                continue
            worst = max(abs(x - want) for x in v) / want * 100.0
            zeros = sum(1 for x in v if x == 0.0)
            print("  %3d/min %-5s want %.4f: min %.4f max %.4f mean %.4f, worst %.1f %%, "
                  "%d values, %d at 0" % (c, name, want, min(v), max(v), sum(v) / len(v), worst,
                                         len(v), zeros))
    else:
        stops.append(t)
    t += seconds
for b in stops:
    print("  stop at %.1f s: OSC at rest after %.0f ms, block after %.0f ms" %
          (b - start, 1000 * at_rest_after(osc, b, None), 1000 * at_rest_after(block, b, None)))
change = start + sum(s for _, _, s in segments[:2 * len(CADENCES) + 1])
for name, series in (("OSC", osc), ("block", block)):
    reached = next((tt for tt, x in series if tt >= change and abs(x - RUN_SPEED) <= 0.05), None)
    if reached is None:
        print("  step change 100 -> 170: %s never within 5 %% of %.2f" % (name, RUN_SPEED))
        continue
    stays = all(abs(x - RUN_SPEED) <= 0.05 for tt, x in series if reached <= tt < change + 10.0)
    print("  step change 100 -> 170: %s within 5 %% after %.2f s (%.1f steps at 170/min)%s" %
          (name, reached - change, (reached - change) * 170 / 60,
           "" if stays else ", but not staying there"))
