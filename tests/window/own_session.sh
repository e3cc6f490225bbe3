#!/usr/bin/env bash
# Runs a window test in a session of its own, whoever runs it and wherever:
#   own_session.sh COMMAND [ARG...]
# HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR are separate empty
# folders in one temporary folder (removed afterwards), the locale is C.UTF-8,
# the umask 022, no display is inherited, and the session bus is a private one
# (dbus-run-session), so nothing autolaunches a bus that records itself in HOME.
# Without dbus-run-session the bus address is one that cannot be reached and
# cannot autolaunch.
set -euo pipefail
session=$(mktemp -d "${TMPDIR:-/tmp}/fyldra3-session.XXXXXX")
trap 'rm -rf "$session"' EXIT
mkdir -m 700 "$session"/{home,config,cache,runtime}
export HOME=$session/home XDG_CONFIG_HOME=$session/config XDG_CACHE_HOME=$session/cache \
       XDG_RUNTIME_DIR=$session/runtime LANG=C.UTF-8
for name in $(compgen -e); do [[ $name == LC_* ]] && unset "$name"; done
unset LANGUAGE DISPLAY WAYLAND_DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS XDG_DATA_HOME XDG_STATE_HOME \
      XDG_SESSION_TYPE XDG_CURRENT_DESKTOP SESSION_MANAGER
umask 022
status=0
if command -v dbus-run-session >/dev/null; then
  dbus-run-session -- "$@" || status=$?
else
  DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/no-bus "$@" || status=$?
fi
exit "$status"
