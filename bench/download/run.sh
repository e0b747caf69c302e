#!/usr/bin/env bash
# Download benchmark: the worker's transfer of 256 MiB and 1 GiB payloads from a loopback static
# server, beside `curl -o FILE` of the same URL in the same run. Reports throughput, the ratio
# to curl, and the worker process's resident memory before the transfer and at its peak.
# Usage: bench/download/run.sh [build-dir]   (default: build). Bounded: about a minute.
# installer_peak.sh measures the real installer's idle and peak memory for a 1 GiB download.
set -euo pipefail
build=${1:-build}
server_bin=$build/bench/download/bench_static_server
worker_bin=$build/bench/download/bench_download_worker
for b in "$server_bin" "$worker_bin"; do
  [ -x "$b" ] || { echo "missing $b (build the bench_download targets)" >&2; exit 2; }
done
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 2; }

# Payloads and copies live in memory where possible, so the disk's write-back does not decide
# which of the two downloads is faster.
base=${VANTORA_BENCH_DIR:-}
if [ -z "$base" ]; then
  if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR==2 {print $4}')" -gt $((3 * 1024 * 1024)) ]; then
    base=/dev/shm
  else
    base=${TMPDIR:-/tmp}
  fi
fi
work=$(mktemp -d "$base/vantora-bench-XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/serve" "$work/out"

# Payloads of random-looking data (not sparse), written once.
head -c $((256 * 1024 * 1024)) /dev/urandom > "$work/serve/p256.bin"
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/serve/p1024.bin"

"$server_bin" "$work/serve" > "$work/server.out" &
server_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on' "$work/server.out" 2>/dev/null && break
  sleep 0.05
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
[ -n "$port" ] || { echo "server did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen
rounds=${VANTORA_BENCH_ROUNDS:-4}
echo "payloads and copies in $base; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-6s %10s %10s %10s %12s %12s %12s\n' size round curl_MiBps worker_MiBps ratio idle_RSS_MiB peak_RSS_MiB growth_MiB
for size in 256 1024; do
  url="http://127.0.0.1:$port/p$size.bin"
  sum_curl=0; sum_worker=0; max_growth=0
  for round in $(seq "$rounds"); do
    rm -f "$work/out/"*
    # Alternate which of the two goes first; each copy is checked and removed before the next
    # download, so both start from the same state.
    for turn in 1 2; do
      if [ $(((round + turn) % 2)) -eq 0 ]; then
        curl_s=$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$url")
        cmp -s "$work/out/curl.bin" "$work/serve/p$size.bin" || { echo "curl copy differs" >&2; exit 1; }
      else
        out=$("$worker_bin" "$url" "$work/out/Setup.run" 2>/dev/null)
        cmp -s "$work/out/Setup.run" "$work/serve/p$size.bin" || { echo "worker copy differs: $out" >&2; exit 1; }
      fi
      rm -f "$work/out/"*
    done
    worker_s=$(sed -n 's/.* seconds=\([0-9.]*\).*/\1/p' <<<"$out")
    idle=$(sed -n 's/.*idle_rss_kib=\([0-9]*\).*/\1/p' <<<"$out")
    peak=$(sed -n 's/.*peak_rss_kib=\([0-9]*\).*/\1/p' <<<"$out")
    read -r c w r g < <(awk -v s="$size" -v cs="$curl_s" -v ws="$worker_s" -v i="$idle" -v p="$peak" \
      'BEGIN { printf "%.1f %.1f %.2f %.1f\n", s/cs, s/ws, (s/ws)/(s/cs), (p-i)/1024 }')
    printf '%-6s %-6s %10s %10s %10s %12.1f %12.1f %12s\n' "${size}M" "$round" "$c" "$w" "$r" \
      "$(awk -v i="$idle" 'BEGIN{print i/1024}')" "$(awk -v p="$peak" 'BEGIN{print p/1024}')" "$g"
    sum_curl=$(awk -v a="$sum_curl" -v b="$curl_s" 'BEGIN{print a+b}')
    sum_worker=$(awk -v a="$sum_worker" -v b="$worker_s" 'BEGIN{print a+b}')
    max_growth=$(awk -v a="$max_growth" -v b="$g" 'BEGIN{print (b>a)?b:a}')
  done
  awk -v s="$size" -v n="$rounds" -v c="$sum_curl" -v w="$sum_worker" -v g="$max_growth" 'BEGIN {
    printf "%-6s all    %10.1f %10.1f %10.2f %12s %12s %12.1f  (max growth)\n", s "M", s*n/c, s*n/w, c/w, "", "", g }'
done
