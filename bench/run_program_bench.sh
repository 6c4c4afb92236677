#!/usr/bin/env bash
# The whole program, measured: runs build/bench/grovik-trennal-fakehid (the real program with
# emulated devices) and prints, idle and while a DCS stream of 100 datagrams a second arrives
# on 127.0.0.1:29778, the period of the force reports (median, p99, max), ticks per second,
# CPU per thread and in total (percent of one core), resident memory, and the time from a
# datagram that changes the load factor to the first joystick report whose force shows it.
#
#   bench/run_program_bench.sh [BUILD_DIR]
#   IDLE_S=30 STREAM_S=30 (seconds per phase); PROGRAM=path runs another build of the program.
#   TAB=forces starts the window on its "Forces" tab, so that the live plot is on screen in front.
#   PERF=1 also measures each phase's exact run time per thread with perf stat (task-clock),
#   which the tick-sampled CPU figures only approximate.
#   ROUNDS=N measures idle and the stream in front N times, alternating, and prints what the
#   stream added in each round and their median: the machine's own noise (the floor itself moves
#   by a few tenths of a percent between runs) is then seen rather than taken for the stream's.
#   IDLE_SENDS=0 keeps the sender quiet while idle (by default it sends the same datagrams to a
#   port nobody listens on, so that only what the program does with them differs).
#   PERF_RECORD=FILE also records the stream in front with perf record -g (call graphs of every
#   thread) into FILE, for perf report.
#   LOAD=N keeps N busy loops running at ordinary priority through every phase, as a game
#   loading the CPU does (LOAD=2 fills both cores of a two-core machine).
# Needs the targets grovik-trennal-fakehid and trennal-bench-profile, and python3.
#
# Where it can, it runs in a network namespace of its own, so that tests or other instances
# using the games' ports on the same machine neither take its datagrams nor feed it theirs.
#
# With Xvfb, openbox, xdotool and xmessage at hand (BENCH_X=auto, the default; 0 never, 1
# always) the program shows its window on a virtual X display, and the stream is measured three
# ways: the window in front, behind another program that has the focus (as while flying, with
# the simulator in front), and minimized. Otherwise the window is drawn offscreen, in front.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
if [ -z "${TRENNAL_BENCH_NETNS:-}" ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then ns=(unshare -n); else ns=(unshare -rn); fi
    if "${ns[@]}" true 2>/dev/null; then
        exec "${ns[@]}" env TRENNAL_BENCH_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$1"' \
            "${BASH_SOURCE[0]}" "$build"
    fi
fi
if [ -z "${TRENNAL_BENCH_NETNS:-}" ]; then
    echo "(no network namespace: other programs on the games' ports may spoil the stream figures)"
fi
exec python3 - "$build" <<'PY'
import atexit, bisect, math, os, random, shutil, signal, socket, struct, subprocess, sys, tempfile, time

build = sys.argv[1]
program = os.environ.get("PROGRAM", os.path.join(build, "bench", "grovik-trennal-fakehid"))
idle_s = float(os.environ.get("IDLE_S", "30"))
# Idle with the sender running all the same, its datagrams to a port nobody listens on: the
# machine then switches between the same programs in both phases, and the difference is what
# the program does with the datagrams.
idle_sends = os.environ.get("IDLE_SENDS", "1") == "1"
stream_s = float(os.environ.get("STREAM_S", "30"))
tck = os.sysconf("SC_CLK_TCK")

work = tempfile.mkdtemp(prefix="trennal-bench-")
subprocess.run([os.path.join(build, "bench", "trennal-bench-profile"), work], check=True,
               stdout=subprocess.DEVNULL)
if os.environ.get("TAB") == "forces":
    # The window restores its tabs at the first show; the force view is the second tab.
    os.makedirs(os.path.join(work, ".config", "Grovik Trennal"))
    with open(os.path.join(work, ".config", "Grovik Trennal", "Grovik Trennal.conf"), "w") as f:
        f.write("[tabs]\ncentralwidget.tabWidget=1\n")
log_path = os.path.join(work, "writes.bin")
summary_path = os.path.join(work, "summary")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work, HOME=work,
           TRENNAL_FAKE_LOG=log_path, TRENNAL_FAKE_SUMMARY=summary_path)

use_x = os.environ.get("BENCH_X", "auto")
x_tools = all(shutil.which(t) for t in ("Xvfb", "openbox", "xdotool", "xmessage"))
if use_x == "1" and not x_tools:
    sys.exit("BENCH_X=1 needs Xvfb, openbox, xdotool and xmessage")
helpers = []
if use_x == "1" or (use_x == "auto" and x_tools):
    number = 40 + os.getpid() % 50
    while os.path.exists(f"/tmp/.X{number}-lock"):
        number += 1
    display = f":{number}"
    helpers.append(subprocess.Popen(["Xvfb", display, "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    for _ in range(100):
        if os.path.exists(f"/tmp/.X11-unix/X{number}"):
            break
        time.sleep(0.05)
    env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
    helpers.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL))
    time.sleep(0.5)


def x(*args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True,
                          timeout=20).stdout.strip()


load = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(int(os.environ.get("LOAD", "0")))]
atexit.register(lambda: [p.kill() for p in load])
proc = subprocess.Popen([program], cwd=work, env=env, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
pid = proc.pid
driven = set()
while len(driven) < 2:
    line = proc.stdout.readline()
    if not line:
        sys.exit("the program ended before both devices were driven")
    driven.add(line.strip())


def thread_stats():
    """Each thread's name and the fields of its /proc stat after the name."""
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        yield stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:].split()


def thread_policies():
    """Threads that run under a real-time policy: name, policy number and priority."""
    return [f"{name} (policy {fields[38]}, priority {fields[37]})"
            for name, fields in thread_stats() if int(fields[38]) != 0]


def thread_cpu():
    """CPU seconds (user + system) per thread name; same-named threads are added up."""
    out = {}
    for name, fields in thread_stats():
        out[name] = out.get(name, 0.0) + (int(fields[11]) + int(fields[12])) / tck
    return out


def total_cpu():
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read()
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / tck


def rss_mib():
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def phase(seconds, stream, record=None):
    """Runs one phase; returns its times, CPU figures, RSS samples and the G changes sent."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    recorder = None
    if record and shutil.which("perf") and seconds > 2:
        recorder = subprocess.Popen(["perf", "record", "-q", "-g", "-o", record, "-p", str(pid), "--",
                                     "sleep", str(seconds - 1)],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    counter = None
    if os.environ.get("PERF") == "1" and shutil.which("perf") and seconds > 2:
        counter = subprocess.Popen(["perf", "stat", "--per-thread", "-x,", "-e", "task-clock", "-p",
                                    str(pid), "--", "sleep", str(seconds - 1)],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    changes = []
    rss = [rss_mib()]
    t0 = time.monotonic_ns()
    threads0, total0 = thread_cpu(), total_cpu()
    start = time.monotonic()
    next_rss = start + 5
    k = 0
    g = 1.0
    jitter = random.Random(1)
    while True:
        now = time.monotonic()
        if now - start >= seconds:
            break
        if now >= next_rss:
            rss.append(rss_mib())
            next_rss += 5
        if not stream and not idle_sends:
            time.sleep(min(0.5, seconds - (now - start)))
            continue
        # 100 datagrams a second; the load factor flips between 1 and 3 G every 250 ms. Each
        # datagram leaves up to one tick late at random: a sender locked to the 200 Hz loop
        # would meet it at one phase and measure the same latency every time.
        target = start + k * 0.01 + jitter.uniform(0.0, 0.005)
        if target > now:
            time.sleep(target - now)
        new_g = 3.0 if (k // 25) % 2 else 1.0
        # Like a flight, the airspeed, climb rate, AoA and thrust change in every datagram, so
        # the status panel has new numbers to show at each of its updates. Only G moves the
        # benchmark profile's force.
        t = k * 0.01
        datagram = (f"BENCH;{250.0 + 20.0 * math.sin(t / 3.0):.3f};{5.0 * math.sin(t):.3f};"
                    f"{4.0 + math.sin(t * 1.7):.3f};{new_g:.1f};0;0;0;{80.0 + math.sin(t / 5.0):.3f};0"
                    ).encode()
        sent = time.monotonic_ns()
        sock.sendto(datagram, ("127.0.0.1", 29778 if stream else 29799))
        if stream and new_g != g:
            changes.append((sent, g, new_g))
            g = new_g
        k += 1
    t1 = time.monotonic_ns()
    threads1, total1 = thread_cpu(), total_cpu()
    rss.append(rss_mib())
    span = (t1 - t0) / 1e9
    cpu = {n: 100.0 * (threads1.get(n, 0) - threads0.get(n, 0)) / span for n in threads1}
    if recorder:
        recorder.wait()
    exact = {}
    if counter:
        # "name-tid,msec,msec,task-clock,...": summed per thread name, % of one core.
        for line in counter.communicate()[1].splitlines():
            f = line.split(",")
            if len(f) > 3 and f[3].startswith("task-clock"):
                try:
                    ms = float(f[1])
                except ValueError:
                    continue
                n = f[0].rsplit("-", 1)[0]
                exact[n] = exact.get(n, 0.0) + ms / (10.0 * (seconds - 1))
    return dict(t0=t0, t1=t1, cpu=cpu, total=100.0 * (total1 - total0) / span, rss=rss,
                changes=changes, exact=exact)




def port_shared():
    """Another program (a test, say) on a game's port spoils the stream figures: a second
    listener on the DCS port takes datagrams, and a server answering on War Thunder's port
    can hold the live source so that the DCS stream is never read."""
    out = subprocess.run(["ss", "-Hulnp", "sport = :29778"], capture_output=True, text=True).stdout
    out += subprocess.run(["ss", "-Htlnp", "sport = :8111"], capture_output=True, text=True).stdout
    others = [l for l in out.splitlines() if f"pid={pid}," not in l]
    if others:
        print("WARNING: another program listens on a game's port:\n  " + "\n  ".join(others))


time.sleep(2)
window = None
if helpers:
    window = x("search", "--sync", "--onlyvisible", "--name", "^Grovik Trennal$").split()[0]
    x("windowactivate", "--sync", window)
    time.sleep(1)
realtime = thread_policies()
if os.environ.get("TAB") == "forces":
    phase(9.0, False)  # the plot's ten seconds hold only the idle program's flat lines
phases = [("idle", idle_s, phase(idle_s, False))]
port_shared()
phase(3.0, True)  # the stream is detected, its profile loaded and the 2 s ramp has passed
stream = phase(stream_s, True, os.environ.get("PERF_RECORD"))
phases.append(("stream" if not helpers else "stream, in front", stream_s, stream))
port_shared()
pairs = [(phases[0][2], stream)]
for r in range(2, int(os.environ.get("ROUNDS", "1")) + 1):
    # The stream times out, and on the "Forces" tab its lines scroll out of the plot's ten
    # seconds: idle is measured as idle is.
    phase(11.0 if os.environ.get("TAB") == "forces" else 2.0, False)
    idle_r = phase(idle_s, False)
    phase(3.0, True)
    stream_r = phase(stream_s, True)
    phases += [(f"idle {r}", idle_s, idle_r), (f"in front {r}", stream_s, stream_r)]
    pairs.append((idle_r, stream_r))
if helpers:
    # Another program takes the focus, as the simulator does; then the window is minimized.
    helpers.append(subprocess.Popen(["xmessage", "-name", "simulator", "-geometry", "+100+100",
                                     "the simulator"], env=env, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL))
    other = x("search", "--sync", "--onlyvisible", "--classname", "simulator").split()[0]
    x("windowactivate", "--sync", other)
    phase(1.0, True)
    phases.append(("stream, behind", stream_s, phase(stream_s, True)))
    x("windowminimize", "--sync", window)
    phase(1.0, True)
    phases.append(("stream, minimized", stream_s, phase(stream_s, True)))

proc.send_signal(signal.SIGTERM)
code = proc.wait(timeout=30)
for helper in reversed(helpers + load):
    helper.terminate()
    helper.wait(timeout=10)

rec = struct.Struct("<qBBxxffxxxx")
with open(log_path, "rb") as f:
    data = f.read()
reports = [r for r in rec.iter_unpack(data[:len(data) - len(data) % rec.size])
           if r[1] == 0 and r[2] == 0x20]
times = [r[0] for r in reports]


def pct(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100.0 * (len(s) - 1))))]


def ticks(ph):
    lo, hi = bisect.bisect_left(times, ph["t0"]), bisect.bisect_right(times, ph["t1"])
    t = times[lo:hi]
    d = [(b - a) / 1e6 for a, b in zip(t, t[1:])]
    rate = (len(t) - 1) / ((t[-1] - t[0]) / 1e9)
    return pct(d, 50), pct(d, 99), max(d), rate


print(f"program: {program}, window {'on X display ' + env['DISPLAY'] if helpers else 'offscreen'}, "
      f"uid {os.getuid()}, {len(load)} busy loops, tab {os.environ.get('TAB', 'effects')}")
print("real-time threads: " + (", ".join(realtime) if realtime else "none"))
print(f"{'phase':18} {'seconds':>7} {'median ms':>9} {'p99 ms':>7} {'max ms':>7} {'ticks/s':>8} "
      f"{'CPU %':>6} {'RSS MiB (start..end, max)':>26}")
for name, s, ph in phases:
    med, p99, mx, rate = ticks(ph)
    r = ph["rss"]
    print(f"{name:18} {s:7.0f} {med:9.3f} {p99:7.3f} {mx:7.3f} {rate:8.2f} {ph['total']:6.2f} "
          f"{r[0]:9.1f} ..{r[-1]:6.1f}, {max(r):5.1f}")
def per_thread(title, key):
    """One row per thread of each phase's `key` figures, the busiest while streaming first."""
    print(title + ", % of one core (" + " / ".join(n for n, _, _ in phases) + "):")
    names = set()
    for _, _, ph in phases:
        names |= set(ph[key])
    for n in sorted(names, key=lambda n: -stream[key].get(n, 0)):
        print(f"  {n:16} " + " ".join(f"{ph[key].get(n, 0):6.2f}" for _, _, ph in phases))


per_thread("CPU per thread", "cpu")
if any(ph["exact"] for _, _, ph in phases):
    per_thread("perf task-clock per thread", "exact")
    print(f"  {'all threads':16} " + " ".join(f"{sum(ph['exact'].values()):6.2f}" for _, _, ph in phases))

def cpu_of(ph, thread=None):
    """Exact (perf) figures when measured, else the tick-sampled ones; one thread or all."""
    figures = ph["exact"] if ph["exact"] else ph["cpu"]
    return figures.get(thread, 0.0) if thread else (sum(figures.values()) if ph["exact"] else ph["total"])


if len(pairs) > 1:
    added = sorted(cpu_of(st) - cpu_of(idle) for idle, st in pairs)
    gui = sorted(cpu_of(st, "grovik-trennal-") - cpu_of(idle, "grovik-trennal-") for idle, st in pairs)
    print("stream in front over the idle just before it, % of one core: " +
          " ".join(f"{cpu_of(st) - cpu_of(idle):+.2f}" for idle, st in pairs) +
          f"; median {added[len(added) // 2]:+.2f} (GUI thread median {gui[len(gui) // 2]:+.2f})")
    idles = sorted(cpu_of(idle) for idle, _ in pairs)
    others = [(n, ph) for n, _, ph in phases if n in ("stream, behind", "stream, minimized")]
    if others:
        print("over the median idle: " + ", ".join(f"{n} {cpu_of(ph) - idles[len(idles) // 2]:+.2f}"
                                                  for n, ph in others))

# Every streaming phase's changes count: a datagram waits for the next tick, up to one period
# at random, so a median of a few dozen moves by a few tenths of a millisecond from run to run.
all_changes = [c for name, _, ph in phases if name != "idle" and not name.startswith("idle ")
               for c in ph["changes"]]
lat = []
for sent, old, new in all_changes:
    i = bisect.bisect_right(times, sent)
    while i < len(reports):
        force = reports[i][4]  # the elevator: -10 per G
        if abs(force - (-10.0 * new)) < 0.5:
            lat.append((reports[i][0] - sent) / 1e6)
            break
        i += 1
if lat:
    print(f"datagram to report: {len(lat)} of {len(all_changes)} changes, median "
          f"{pct(lat, 50):.2f} ms, p90 {pct(lat, 90):.2f} ms, max {max(lat):.2f} ms")
else:
    print("datagram to report: no change reached the joystick (was the stream received?)")
summary = open(summary_path).read() if os.path.exists(summary_path) else ""
zero = "0220" + "00" * 63
left = all(f"last {zero}" in l for l in summary.splitlines()) and summary.count("\n") == 2
print(f"exit status {code}; both devices left at zero force: {'yes' if left else 'no'}")
PY
