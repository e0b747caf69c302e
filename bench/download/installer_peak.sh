#!/usr/bin/env bash
# Resident memory of the real installer: idle in its window, and its peak while it downloads a
# 1 GiB payload from the stand-in service on the compiled-in address. The payload is no program,
# so the run ends at the launch-failure box, which is where the peak is read.
# Usage: xvfb-run -a -s "-screen 0 1280x1024x24" bench/download/installer_peak.sh [build-dir]
set -euo pipefail
build=${1:-build}
url=$(sed -n 's/^VANTORA_SERVICE_URL:STRING=//p' "$build/CMakeCache.txt")
port=${url##*:}
[[ $url == http://127.0.0.1:* ]] || { echo "the build's service address $url is not local" >&2; exit 2; }
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "port $port is busy; try again later" >&2; exit 77
fi
base=/dev/shm; [ -d $base ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/vantora-peak-XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/Setup.bin"
mkdir "$work/tmp" "$work/run"
"$build/tools/devservice/vantora-devservice" --port "$port" --payload "$work/Setup.bin" > "$work/svc.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do grep -q listening "$work/svc.log" && break; sleep 0.05; done
XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp "$build/app/vantora-online-installer" > "$work/inst.log" 2>&1 &
installer=$!
pids+=("$installer")
for _ in $(seq 200); do xdotool search --onlyvisible --pid "$installer" > /dev/null 2>&1 && break; sleep 0.05; done
sleep 1  # let the banner animation and the first paints settle
idle=$(awk '/VmRSS/ {print $2}' "/proc/$installer/status")
start=$(date +%s.%N)
xdotool mousemove --sync 239 262 click 1  # the install button
for _ in $(seq 1200); do
  [ "$(xdotool search --onlyvisible --pid "$installer" 2>/dev/null | wc -l)" -ge 2 ] && break
  sleep 0.05
done
end=$(date +%s.%N)
peak=$(awk '/VmHWM/ {print $2}' "/proc/$installer/status")
size=$(stat -c %s "$work/tmp/Setup.bin" 2>/dev/null || echo 0)
awk -v i="$idle" -v p="$peak" -v s="$start" -v e="$end" -v n="$size" 'BEGIN {
  printf "installer idle RSS %.1f MiB, peak %.1f MiB, growth %.1f MiB; %d bytes landed, click to box %.2f s\n",
         i/1024, p/1024, (p-i)/1024, n, e-s }'
