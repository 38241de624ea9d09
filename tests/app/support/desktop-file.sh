#!/bin/sh
# The desktop file is valid and, once installed in a fresh XDG data folder, is the
# default handler of both URL schemes. Exit 77 (skipped) when the tools are missing; with
# CI=true that fails.
set -u
desktop="$1"
fail() {
  echo "desktop-file: $1" >&2
  exit 1
}
for tool in desktop-file-validate update-desktop-database xdg-mime; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "desktop-file: $tool is missing (packages desktop-file-utils, xdg-utils)" >&2
    if [ "${CI:-}" = true ]; then exit 1; fi
    exit 77
  fi
done
desktop-file-validate "$desktop" || fail "desktop-file-validate refused $desktop"
home=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS="$home/none"
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
cp "$desktop" "$XDG_DATA_HOME/applications/zymradio.desktop"
update-desktop-database "$XDG_DATA_HOME/applications" || fail "update-desktop-database failed"
for scheme in zymradio qint; do
  got=$(xdg-mime query default "x-scheme-handler/$scheme")
  [ "$got" = zymradio.desktop ] || fail "x-scheme-handler/$scheme is handled by '$got'"
done
echo "desktop-file: valid, default handler of zymradio: and qint:"
