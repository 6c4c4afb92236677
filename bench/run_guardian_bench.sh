#!/usr/bin/env bash
# The guardian, measured: runs build/bench/grovik-trennal-fakehid (the real program with emulated
# devices), finds its guardian process, and prints the guardian's CPU use while the program runs
# (percent of one core, from /proc/PID/schedstat), then the time from SIGSTOP to the guardian's zero
# report (several stops, each followed by SIGCONT) and from SIGKILL to it.
#
#   bench/run_guardian_bench.sh [BUILD_DIR]
#   CPU_S=60 (seconds of the CPU phase), STOPS=10; PROGRAM=path runs another build of the program.
# Needs the target grovik-trennal-fakehid and python3.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
exec python3 - "$build" <<'PY'
import os, signal, struct, subprocess, sys, tempfile, time

build = sys.argv[1]
program = os.environ.get("PROGRAM", os.path.join(build, "bench", "grovik-trennal-fakehid"))
cpu_s = float(os.environ.get("CPU_S", "60"))
stops = int(os.environ.get("STOPS", "10"))
tck = os.sysconf("SC_CLK_TCK")
work = tempfile.mkdtemp(prefix="trennal-guardian-bench-")
log_path = os.path.join(work, "writes.bin")
starts_path = os.path.join(work, "starts")
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work, HOME=work,
           TRENNAL_FAKE_LOG=log_path, TRENNAL_FAKE_STARTS=starts_path)
rec = struct.Struct("<qBBBxffxxxx")


def guardian_records():
    with open(log_path, "rb") as f:
        data = f.read()
    # The direct-control reports (0x20); each comes after the DirectX gains at zero (0x21).
    return [r for r in rec.iter_unpack(data[:len(data) - len(data) % rec.size]) if r[3] == 1 and r[2] == 0x20]


def cpu_seconds(pid):
    """CPU time in seconds, to the nanosecond (/proc/PID/schedstat) where the kernel keeps it,
    else in clock ticks (/proc/PID/stat)."""
    try:
        with open(f"/proc/{pid}/schedstat") as f:
            return int(f.read().split()[0]) / 1e9
    except (OSError, ValueError, IndexError):
        pass
    with open(f"/proc/{pid}/stat") as f:
        stat = f.read()
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / tck


def wait_for_guardian_zeros(count, since_ns):
    """Time from since_ns to the guardian's count-th zero report of both devices, in ms."""
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        records = guardian_records()
        if len(records) >= 2 * count:
            return (max(r[0] for r in records[2 * count - 2:2 * count]) - since_ns) / 1e6
        time.sleep(0.002)
    sys.exit("the guardian sent nothing within 10 s")


proc = subprocess.Popen([program], cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
driven = set()
while len(driven) < 2:
    line = proc.stdout.readline()
    if not line:
        sys.exit("the program ended before both devices were driven")
    driven.add(line.strip())
guardian = int([l.split()[1] for l in open(starts_path).read().splitlines() if l.startswith("guardian")][0])

c0, t0 = cpu_seconds(guardian), time.monotonic()
time.sleep(cpu_s)
c1, t1 = cpu_seconds(guardian), time.monotonic()
print(f"guardian CPU over {t1 - t0:.0f} s while the program runs: {100.0 * (c1 - c0) / (t1 - t0):.4f} % "
      f"of one core ({1000.0 * (c1 - c0):.1f} ms)")

latencies = []
for i in range(1, stops + 1):
    sent = time.monotonic_ns()
    os.kill(proc.pid, signal.SIGSTOP)
    latencies.append(wait_for_guardian_zeros(i, sent))
    os.kill(proc.pid, signal.SIGCONT)
    time.sleep(0.5)
latencies.sort()
print(f"SIGSTOP to both devices at zero, {stops} stops: min {latencies[0]:.1f} ms, median "
      f"{latencies[len(latencies) // 2]:.1f} ms, max {latencies[-1]:.1f} ms")
sent = time.monotonic_ns()
os.kill(proc.pid, signal.SIGKILL)
proc.wait()
print(f"SIGKILL to both devices at zero: {wait_for_guardian_zeros(stops + 1, sent):.1f} ms")
PY
