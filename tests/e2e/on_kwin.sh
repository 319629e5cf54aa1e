#!/bin/bash
# Runs a test program beside KWin on its virtual (headless) backend, a compositor that offers
# ext-idle-notify-v1: KWIN_WAYLAND_DISPLAY names its socket, KWIN_BUS its session bus, on which
# org.freedesktop.ScreenSaver.SimulateUserActivity stands for input. Without KWin the program
# runs without them.
# Usage: on_kwin.sh PROGRAM [ARGS...]
set -u
command -v kwin_wayland >/dev/null || exec "$@"
run=$(mktemp -d) && chmod 700 "$run" || exit 1
export XDG_RUNTIME_DIR=$run
# A sandbox may refuse to start a program that carries file capabilities: a plain copy starts.
cp "$(command -v kwin_wayland)" "$run/kwin_wayland"
dbus-run-session -- sh -c 'echo "$$ $DBUS_SESSION_BUS_ADDRESS" >"$0/bus.new" && mv "$0/bus.new" "$0/bus" &&
    exec "$0/kwin_wayland" --virtual --socket kwin-test --no-global-shortcuts --no-kactivities' "$run" \
    >"$run/kwin.log" 2>&1 &
trap 'kill "$kwin" 2>/dev/null; wait; rm -rf "$run"' EXIT
for _ in $(seq 150); do [[ -S $run/kwin-test && -s $run/bus ]] && break; sleep 0.2; done
read -r kwin bus <"$run/bus" || { cat "$run/kwin.log" >&2; exit 1; }
KWIN_WAYLAND_DISPLAY=kwin-test KWIN_BUS=$bus "$@"
