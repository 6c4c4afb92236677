#!/usr/bin/env bash
# The whole program, measured: runs build/bench/grovik-trennal-fakehid (the real program with
# emulated devices) and prints, idle and while a DCS stream of 100 datagrams a second arrives
# on 127.0.0.1:29778, the period of the force reports (median, p99, max), ticks per second,
# CPU per thread and in total (percent of one core), resident memory, and the time from a
# datagram that changes the load factor to the first joystick report whose force shows it.
#
#   bench/run_program_bench.sh [BUILD_DIR]
#   IDLE_S=30 STREAM_S=30 (seconds per phase); PROGRAM=path runs another build of the program.
# Needs the targets grovik-trennal-fakehid and trennal-bench-profile, and python3.
#
# Where it can, it runs in a network namespace of its own, so that tests or other instances
# using the games' ports on the same machine neither take its datagrams nor feed it theirs.
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
import bisect, os, random, signal, socket, struct, subprocess, sys, tempfile, time

build = sys.argv[1]
program = os.environ.get("PROGRAM", os.path.join(build, "bench", "grovik-trennal-fakehid"))
idle_s = float(os.environ.get("IDLE_S", "30"))
stream_s = float(os.environ.get("STREAM_S", "30"))
tck = os.sysconf("SC_CLK_TCK")

work = tempfile.mkdtemp(prefix="trennal-bench-")
subprocess.run([os.path.join(build, "bench", "trennal-bench-profile"), work], check=True,
               stdout=subprocess.DEVNULL)
log_path = os.path.join(work, "writes.bin")
summary_path = os.path.join(work, "summary")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work,
           TRENNAL_FAKE_LOG=log_path, TRENNAL_FAKE_SUMMARY=summary_path)
proc = subprocess.Popen([program], cwd=work, env=env, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
pid = proc.pid
driven = set()
while len(driven) < 2:
    line = proc.stdout.readline()
    if not line:
        sys.exit("the program ended before both devices were driven")
    driven.add(line.strip())


def thread_cpu():
    """CPU seconds (user + system) per thread name; same-named threads are added up."""
    out = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
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


def phase(seconds, stream):
    """Runs one phase; returns its times, CPU figures, RSS samples and the G changes sent."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
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
        if not stream:
            time.sleep(min(0.5, seconds - (now - start)))
            continue
        # 100 datagrams a second; the load factor flips between 1 and 3 G every 250 ms. Each
        # datagram leaves up to one tick late at random: a sender locked to the 200 Hz loop
        # would meet it at one phase and measure the same latency every time.
        target = start + k * 0.01 + jitter.uniform(0.0, 0.005)
        if target > now:
            time.sleep(target - now)
        new_g = 3.0 if (k // 25) % 2 else 1.0
        datagram = f"BENCH;120.0;0.0;2.0;{new_g:.1f};0;0;0;0;0".encode()
        sent = time.monotonic_ns()
        sock.sendto(datagram, ("127.0.0.1", 29778))
        if new_g != g:
            changes.append((sent, g, new_g))
            g = new_g
        k += 1
    t1 = time.monotonic_ns()
    threads1, total1 = thread_cpu(), total_cpu()
    rss.append(rss_mib())
    span = (t1 - t0) / 1e9
    cpu = {n: 100.0 * (threads1.get(n, 0) - threads0.get(n, 0)) / span for n in threads1}
    return dict(t0=t0, t1=t1, cpu=cpu, total=100.0 * (total1 - total0) / span, rss=rss,
                changes=changes)




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
idle = phase(idle_s, False)
port_shared()
phase(3.0, True)  # the stream is detected, its profile loaded and the 2 s ramp has passed
stream = phase(stream_s, True)
port_shared()

proc.send_signal(signal.SIGTERM)
code = proc.wait(timeout=30)

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


print(f"program: {program}")
print(f"{'phase':8} {'seconds':>7} {'median ms':>9} {'p99 ms':>7} {'max ms':>7} {'ticks/s':>8} "
      f"{'CPU %':>6} {'RSS MiB (start..end, max)':>26}")
for name, ph, s in (("idle", idle, idle_s), ("stream", stream, stream_s)):
    med, p99, mx, rate = ticks(ph)
    r = ph["rss"]
    print(f"{name:8} {s:7.0f} {med:9.3f} {p99:7.3f} {mx:7.3f} {rate:8.2f} {ph['total']:6.2f} "
          f"{r[0]:9.1f} ..{r[-1]:6.1f}, {max(r):5.1f}")
print("CPU per thread, % of one core (idle / stream):")
for n in sorted(set(idle["cpu"]) | set(stream["cpu"]), key=lambda n: -stream["cpu"].get(n, 0)):
    print(f"  {n:16} {idle['cpu'].get(n, 0):6.2f} {stream['cpu'].get(n, 0):6.2f}")

lat = []
for sent, old, new in stream["changes"]:
    i = bisect.bisect_right(times, sent)
    while i < len(reports):
        force = reports[i][4]  # the elevator: -10 per G
        if abs(force - (-10.0 * new)) < 0.5:
            lat.append((reports[i][0] - sent) / 1e6)
            break
        i += 1
if lat:
    print(f"datagram to report: {len(lat)} of {len(stream['changes'])} changes, median "
          f"{pct(lat, 50):.2f} ms, p90 {pct(lat, 90):.2f} ms, max {max(lat):.2f} ms")
else:
    print("datagram to report: no change reached the joystick (was the stream received?)")
summary = open(summary_path).read() if os.path.exists(summary_path) else ""
zero = "0220" + "00" * 63
left = all(f"last {zero}" in l for l in summary.splitlines()) and summary.count("\n") == 2
print(f"exit status {code}; both devices left at zero force: {'yes' if left else 'no'}")
PY
