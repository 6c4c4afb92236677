#!/usr/bin/env bash
# What the log holds after a flight: runs build/bench/grovik-trennal-fakehid (the real program
# with emulated devices, drawn offscreen) in a temporary data directory, flies a DCS stream of
# 100 datagrams a second on 127.0.0.1:29778 for STREAM_S seconds (default 10), and prints the
# bytes and lines "grovik-trennal.log" gained during the stream's steady part (after its first
# STEADY_AFTER_S seconds, default 2), per second, then the whole log after the program ended.
#
#   bench/run_log_bench.sh [BUILD_DIR]
# Like run_program_bench.sh it runs in a network namespace of its own where it can.
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
exec python3 - "$build" <<'PY'
import os, signal, socket, subprocess, sys, tempfile, time

build = sys.argv[1]
program = os.path.join(build, "bench", "grovik-trennal-fakehid")
stream_s = float(os.environ.get("STREAM_S", "10"))
steady_after = float(os.environ.get("STEADY_AFTER_S", "2"))
work = tempfile.mkdtemp(prefix="trennal-log-")
subprocess.run([os.path.join(build, "bench", "trennal-bench-profile"), work], check=True,
               stdout=subprocess.DEVNULL)
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work, HOME=work)
log = os.path.join(work, "grovik-trennal.log")
proc = subprocess.Popen([program], cwd=work, env=env, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL, text=True)
driven = set()
while len(driven) < 2:
    line = proc.stdout.readline()
    if not line:
        sys.exit("the program ended before both devices were driven")
    driven.add(line.strip())


def size():
    try:
        with open(log, "rb") as f:
            data = f.read()
        return len(data), data.count(b"\n")
    except FileNotFoundError:
        return 0, 0


sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
start = time.monotonic()
steady = None
k = 0
while time.monotonic() - start < stream_s:
    if steady is None and time.monotonic() - start >= steady_after:
        steady = (time.monotonic(), size())
    target = start + k * 0.01
    if target > time.monotonic():
        time.sleep(target - time.monotonic())
    t = k * 0.01
    sock.sendto(f"BENCH;{250 + t:.3f};1;4;1.0;0;0;0;80;0".encode(), ("127.0.0.1", 29778))
    k += 1
end = (time.monotonic(), size())
seconds = end[0] - steady[0]
print(f"{k} datagrams in {stream_s:.0f} s; over the last {seconds:.1f} s the log grew by "
      f"{end[1][0] - steady[1][0]} bytes, {end[1][1] - steady[1][1]} lines "
      f"({(end[1][0] - steady[1][0]) / seconds:.1f} bytes a second)")
time.sleep(1.5)  # the stream's end
proc.send_signal(signal.SIGTERM)
proc.wait(timeout=30)
print("--- the log after the program ended ---")
with open(log) as f:
    sys.stdout.write(f.read())
PY
