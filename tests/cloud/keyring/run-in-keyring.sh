#!/bin/sh
# Runs a test program against a Secret Service of its own: a private session bus,
# an unlocked gnome-keyring-daemon, and a throwaway HOME, so neither the user's
# keyring nor a desktop session is needed (CI runs this headless, as root).
set -eu
program=$1
shift
home=$(mktemp -d "${TMPDIR:-/tmp}/vl-keyring-XXXXXX")
trap 'rm -rf "$home"' EXIT INT TERM
export HOME="$home"
export XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen
dbus-run-session -- sh -c '
  printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' keyring-session "$program" "$@"
