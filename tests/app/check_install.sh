#!/bin/sh
# Installs the build tree into a throw-away prefix and checks what a desktop needs from it:
# the executable, a valid menu entry that handles clipmoor:// addresses, the icon in the hicolor
# theme, valid software-centre metadata and the browser extension (without its tests).
#   check_install.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log"; exit 1; }
rm -f "$prefix.log"

fail() { echo "FAIL: $*" >&2; exit 1; }
share=$prefix/share
desktop=$share/applications/app.clipmoor.Clipmoor.desktop
metainfo=$share/metainfo/app.clipmoor.Clipmoor.metainfo.xml
extension=$share/clipmoor/browser-extension

[ -x "$prefix/bin/clipmoor" ] || fail "no executable in bin"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'MimeType=x-scheme-handler/clipmoor;' "$desktop" || fail "no clipmoor:// handler"
grep -qx 'Exec=clipmoor %u' "$desktop" || fail "the entry does not pass the address on"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon not in hicolor"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"
[ -f "$extension/manifest.json" ] || fail "no browser extension"
[ -f "$extension/how-to-install.html" ] || fail "no instructions for the extension"
[ ! -e "$extension/test" ] || fail "the extension's tests were installed"
echo "1 passed, 0 failed"
