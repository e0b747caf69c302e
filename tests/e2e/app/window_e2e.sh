#!/usr/bin/env bash
# Runs the installer against the stand-in service on the compiled-in port: two copies side by
# side (one with arguments it must ignore), each window at (0,0) 479x359, a screenshot, then
# the close glyph and Yes on the question, after which each exits with 0. Then the service
# refuses the clock and answers with text that is not JSON: the installer shows its box and
# still exits with 0.
# Usage (inside an X server): window_e2e.sh <installer> <devservice> <payload> <output dir>
set -uo pipefail

installer=$1 devservice=$2 payload=$3 out=$4
port=18765
work=$(mktemp -d)
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
# A display that vanished (parallel xvfb-run -a runs can pick the same number) is not the
# installer's fault: exit 75 and let the caller start a fresh server.
display_alive() { xdpyinfo >/dev/null 2>&1; }
fail() {
  display_alive || { echo "display $DISPLAY went away: $*" >&2; exit 75; }
  echo "FAIL: $*" >&2
  exit 1
}
display_alive || { echo "display $DISPLAY does not answer" >&2; exit 75; }

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "SKIP: port $port is already in use; the installer's compiled-in service address needs it" >&2
  exit 77
fi

service=""
start_service() {
  "$devservice" --port "$port" --payload "$payload" --events "$work/events" "$@" >>"$work/service.out" 2>"$work/service.log" &
  service=$!
  pids+=("$service")
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    kill -0 "$service" 2>/dev/null || fail "the service did not start: $(cat "$work/service.log")"
    sleep 0.05
  done
  fail "the service does not answer on port $port"
}
stop_service() {
  kill "$service" 2>/dev/null
  wait "$service" 2>/dev/null
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || return 0
    sleep 0.05
  done
}
start_service

# The visible top-level window of a process, once it is mapped.
window_of() {
  local pid=$1 id
  for _ in $(seq 1 200); do
    id=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}

geometry_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
                          /Width:/{w=$2} /Height:/{h=$2} END{print x "," y " " w "x" h}'
}

# Qt must not read these: a "-platform" it honoured would stop the program from starting.
"$installer" -platform no-such-platform -reverse --help extra 2>"$work/a.log" &
first=$!
pids+=("$first")
"$installer" 2>"$work/b.log" &
second=$!
pids+=("$second")

win1=$(window_of "$first") || fail "first copy shows no window: $(cat "$work/a.log")"
win2=$(window_of "$second") || fail "second copy shows no window: $(cat "$work/b.log")"
[ "$win1" != "$win2" ] || fail "the two copies share a window"

for win in "$win1" "$win2"; do
  geometry=$(geometry_of "$win")
  [ "$geometry" = "0,0 479x359" ] || fail "window $win at $geometry, expected 0,0 479x359"
done

# Let the banner's first frame and the skin paint, then keep a picture of the screen.
sleep 1
import -window root "$out/installer-window.png" || fail "no screenshot"
echo "screenshot: $out/installer-window.png"

# Both copies asked the service for the version once.
requests=$(grep -c 'return_version' "$work/service.log" || true)
echo "version requests seen by the service log: $requests"

close_with_yes() {
  local pid=$1 win=$2 box
  xdotool windowraise "$win"
  xdotool mousemove --sync 459 25 click 1   # the close glyph at (449,15), 20 x 20
  box=""
  for _ in $(seq 1 200); do
    box=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -v "^$win\$" | head -n 1)
    [ -n "$box" ] && break
    sleep 0.05
  done
  [ -n "$box" ] || fail "no close question from process $pid"
  import -window root "$out/close-question-$pid.png" 2>/dev/null || true
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return   # Yes is the default button
  local status=""
  for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; status=$?; break
    fi
    sleep 0.05
  done
  [ -n "$status" ] || fail "process $pid still runs after Yes"
  [ "$status" -eq 0 ] || fail "process $pid exited with $status"
  echo "process $pid ended with 0 after Yes"
}

# Waits for process $1 to end and sets $status to its exit status. It runs in this shell, not in
# a command substitution: only the shell that started the process can wait for it.
exit_status_of() {
  status=""
  for _ in $(seq 1 200); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"; status=$?; return 0
    fi
    sleep 0.05
  done
  return 1
}

close_with_yes "$second" "$win2"
close_with_yes "$first" "$win1"

# A message box is the only thing left to answer: OK it and expect exit code 0.
answer_box_and_expect_zero() {
  local mode=$1 pid box status
  stop_service
  start_service --version-mode "$mode"
  "$installer" 2>"$work/$mode.log" &
  pid=$!
  pids+=("$pid")
  box=""
  for _ in $(seq 1 200); do
    # the clock box has no visible window under it; the error box sits over the window
    box=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | tail -n 1)
    [ -n "$box" ] && [ "$(xwininfo -id "$box" | awk '/Width:/{print $2}')" != 479 ] && break
    box=""
    sleep 0.05
  done
  [ -n "$box" ] || fail "no message box with the service in mode $mode"
  import -window root "$out/box-$mode.png" 2>/dev/null || true
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return
  exit_status_of "$pid" || fail "the installer still runs after the box ($mode)"
  [ "$status" -eq 0 ] || fail "exit code $status after the box ($mode)"
  echo "service mode $mode: box answered, exit code 0"
}
answer_box_and_expect_zero clock
answer_box_and_expect_zero not-json
echo "PASS"
