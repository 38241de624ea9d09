#!/bin/sh
# Runs a command on a private session bus with an unlocked gnome-keyring of its own
# (in a temporary folder), for the real keyring tests. Exit 77 (skipped) when the tools
# are missing; with CI=true that, and a keyring that does not start, fail.
set -u
fail() {
  echo "with-keyring: $1" >&2
  if [ "${CI:-}" = true ]; then exit 1; fi
  exit 77
}
command -v dbus-run-session >/dev/null 2>&1 || fail "dbus-run-session is missing (package dbus-bin)"
command -v gnome-keyring-daemon >/dev/null 2>&1 || fail "gnome-keyring-daemon is missing (package gnome-keyring)"
home=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$home"' EXIT
export ZYM_KEYRING_HOME="$home"
dbus-run-session -- sh -c '
  export XDG_DATA_HOME="$ZYM_KEYRING_HOME/data" XDG_RUNTIME_DIR="$ZYM_KEYRING_HOME/run"
  mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  printf "zymtest" | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1
  # The daemon takes its bus name a moment after it returns: wait for it, 10 s at most.
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ]; then
      echo "with-keyring: gnome-keyring-daemon did not start" >&2
      exit 70
    fi
    sleep 0.1
  done
  ZYM_REAL_KEYRING=1 exec "$@"
' sh "$@"
status=$?
if [ "$status" -eq 70 ]; then fail "the keyring did not start"; fi
exit "$status"
