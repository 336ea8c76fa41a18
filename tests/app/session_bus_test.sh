#!/usr/bin/env bash
# The program on an X server (Xvfb), as a script or a remote login starts it:
#
# - with no D-Bus session bus it leaves no process behind once it has ended
#   (libdbus would otherwise autolaunch a dbus-launch and a dbus-daemon that
#   outlive it);
# - with a session bus, named in DBUS_SESSION_BUS_ADDRESS or found in
#   XDG_RUNTIME_DIR, a screen reader still reaches it: the program joins the
#   accessibility bus and its registry lists it.
#
#   session_bus_test.sh PROGRAM
set -euo pipefail

program="$(realpath "$1")"
for tool in Xvfb dbus-daemon dbus-launch dbus-send; do
  command -v "$tool" >/dev/null || {
    echo "FAIL: $tool is not installed (packages xvfb, dbus-daemon, dbus-x11, dbus-bin)" >&2
    exit 1
  }
done

scratch="$(mktemp -d)"
mkdir -m 700 "$scratch/runtime"
# Every process started here carries the tag, so whatever the program starts
# is found however it detaches; a zombie's environment reads empty.
tag="TALLYFORGE_SESSION_BUS_TEST=$scratch"
tagged_processes() {
  grep -lzxF -- "$tag" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 || true
}
describe() { ps -o pid=,args= -p "$(tr '\n' ',' <<<"$1" | sed 's/,$//')" || true; }
end_tagged() {
  local left _
  for signal in TERM KILL; do
    left="$(tagged_processes)"
    [ -n "$left" ] || return 0
    # shellcheck disable=SC2086 # one pid a word
    kill -s "$signal" $left 2>/dev/null || true
    for _ in $(seq 50); do
      [ -n "$(tagged_processes)" ] || return 0
      sleep 0.1
    done
  done
}

xvfb_pid=""
cleanup() {
  end_tagged
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || {
  echo "FAIL: Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2
  exit 1
}
display=":$(cat "$scratch/display")"

# A bare environment, as a script or a service would give; the X platform,
# whatever the caller set. Sanitizer options are passed on. (An array, not a
# function: a function in the background is a shell of its own, and the
# program's pid is what the checks below look for.)
tagged_env=(env -i -C "$scratch" HOME="$scratch" PATH=/usr/bin:/bin
  XDG_RUNTIME_DIR="$scratch/runtime" DISPLAY="$display" QT_QPA_PLATFORM=xcb "$tag")
for var in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  if [ -n "${!var:-}" ]; then tagged_env+=("$var=${!var}"); fi
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# --- no session bus: nothing outlives the program ---
if "${tagged_env[@]}" timeout 60 "$program" --screenshot "$scratch/window.png" >"$scratch/run.log" 2>&1; then
  # The program has ended; what it started would be up by now.
  left="$(tagged_processes)"
  if [ -n "$left" ]; then
    fail "without a session bus, processes outlived the program:"$'\n'"$(describe "$left")"
  else
    echo "ok: without a session bus, nothing outlived the program"
  fi
else
  fail "the program failed without a session bus: $(cat "$scratch/run.log")"
fi
end_tagged

# --- with a session bus: a screen reader reaches the window ---
# The bus's unique names on BUS whose process is PID.
names_of_process() {
  local bus="$1" pid="$2" name
  for name in $(dbus-send --bus="$bus" --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.ListNames 2>/dev/null | grep -o '":[0-9.]*"' | tr -d '"'); do
    if dbus-send --bus="$bus" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null |
      grep -qw "uint32 $pid"; then
      echo "$name"
    fi
  done
}

# Starts the accessibility bus as a screen reader does and checks that the
# program, started with the environment VAR=VALUE... given, is listed by the
# accessibility registry. LABEL says how the session bus was found.
check_screen_reader_reaches() {
  local label="$1" address="$2"
  shift 2
  local a11y pid listed="" name _
  # What a screen reader does first: have the accessibility bus started and
  # say that it reads the screen.
  if ! a11y="$("${tagged_env[@]}" DBUS_SESSION_BUS_ADDRESS="$address" dbus-send --session \
    --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress)"; then
    fail "$label: no accessibility bus (package at-spi2-core)"
    return
  fi
  a11y="$(tr -d ' \n' <<<"$a11y")"
  if ! "${tagged_env[@]}" DBUS_SESSION_BUS_ADDRESS="$address" dbus-send --session --print-reply \
    --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true >/dev/null; then
    fail "$label: could not switch the screen reader's flag on"
    return
  fi

  # Not under timeout, which would be the process the bus sees; the trap
  # ends the program whatever happens.
  "${tagged_env[@]}" "$@" "$program" >"$scratch/run.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    for name in $(names_of_process "$a11y" "$pid"); do
      if dbus-send --bus="$a11y" --print-reply --dest=org.a11y.atspi.Registry \
        /org/a11y/atspi/accessible/root org.a11y.atspi.Accessible.GetChildren 2>/dev/null |
        grep -qF "\"$name\""; then
        listed="$name"
      fi
    done
    [ -z "$listed" ] || break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  if [ -n "$listed" ]; then
    echo "ok: $label: the accessibility registry lists the program ($listed)"
  else
    fail "$label: the program did not join the accessibility registry within 20 s: $(cat "$scratch/run.log")"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  end_tagged
}

# A session bus named in the environment.
bus="$("${tagged_env[@]}" dbus-daemon --session --fork --print-address=1)"
check_screen_reader_reaches "named session bus" "$bus" DBUS_SESSION_BUS_ADDRESS="$bus"

# The user bus, unnamed: a socket "bus" in XDG_RUNTIME_DIR, as systemd's user
# session provides it.
user_bus="unix:path=$scratch/runtime/bus"
"${tagged_env[@]}" dbus-daemon --session --fork --address="$user_bus" >/dev/null
check_screen_reader_reaches "user bus in XDG_RUNTIME_DIR" "$user_bus"

[ "$failures" -eq 0 ] || exit 1
echo "all session bus checks passed"
