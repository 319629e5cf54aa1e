#!/bin/bash
# Runs a test program on the xcb platform in a throwaway X session (no notification area) and
# on a D-Bus session bus of its own, for tests that stand in for the desktop's tray host.
# Usage: on_x_and_bus.sh PROGRAM [ARGS...]
set -u
# shellcheck source=tests/e2e/xsession.sh
source "$(cd "$(dirname "$0")" && pwd)/xsession.sh"
trap stop_session EXIT
XS_TRAY=none start_session || exit 1
QT_QPA_PLATFORM=xcb dbus-run-session -- "$@"
