#!/usr/bin/env bash
# Looks inside the client's Debian package built in a package tree: where its
# files land, what it depends on, and whether its desktop entry (the handler
# of idlewyn:// links) and AppStream metadata are valid.
#
#   check_package.sh <package build folder>
set -euo pipefail

tree=$1
debs=("$tree"/vesperline_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one client package in $tree, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
echo "$info"
echo "$contents"

id=io.zembrix.vesperline
for path in \
    ./usr/bin/vesperline \
    ./usr/share/applications/$id.desktop \
    ./usr/share/icons/hicolor/scalable/apps/$id.svg \
    ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/man/man1/vesperline.1.gz \
    ./usr/share/doc/vesperline/copyright \
    ./usr/share/doc/vesperline/changelog.gz; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
# Nothing of the tray application, nor the kit's development files.
if grep -Eq 'vesperline-relay|\.a$|\.h$|/cmake/' <<<"$contents"; then fail "the package carries another package's files"; fi

depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dep in libsecret-1-0 libqt6quick6 libqt6dbus6 libqt6multimedia6 libzxing2 qml6-module-qtquick-controls \
    qml6-module-qtquick-dialogs qml6-module-qtmultimedia; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q '^ Package: vesperline$' <<<"$info" || fail "wrong package name"
# Its own synopsis, not the tray application's beside it in the same tree.
grep -q '^ Description: follow coding agents and answer their prompts$' <<<"$info" || fail "wrong synopsis"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
entry="$unpacked/usr/share/applications/$id.desktop"
desktop-file-validate "$entry" || fail "desktop entry invalid"
appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo invalid"
grep -qx "Exec=vesperline %u" "$entry" || fail "the desktop entry does not hand the link to the program"
grep -qx "MimeType=x-scheme-handler/idlewyn;" "$entry" || fail "the desktop entry does not take idlewyn:// links"
man -l "$unpacked/usr/share/man/man1/vesperline.1.gz" >/dev/null 2>&1 || fail "the manual page does not render"
if objdump -p "$unpacked/usr/bin/vesperline" | grep -q 'NEEDED.*lib[at]san'; then fail "the program links a sanitizer runtime"; fi
if readelf -S "$unpacked/usr/bin/vesperline" | grep -q '\.debug_info'; then fail "the program is not stripped"; fi

if command -v lintian >/dev/null; then
    lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
    echo "$lintian_output"
    if grep -q '^E: ' <<<"$lintian_output"; then fail "lintian reports errors"; fi
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "package checks passed"
