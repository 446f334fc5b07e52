#!/usr/bin/env bash
# Looks inside one of the Debian packages built in a package tree: where its
# files land, what it depends on, and whether its desktop entry and AppStream
# metadata are valid. lintian runs too when it is installed.
#
#   check_package.sh <package build folder> vesperline-relay|vesperline
set -euo pipefail

tree=$1 package=$2
debs=("$tree"/"$package"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one $package package in $tree, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

case $package in
vesperline-relay)
    id=io.zembrix.vesperline.relay exec="Exec=vesperline-relay" extra_files=()
    # Nor the kit's development files.
    foreign='\.a$|\.h$|/cmake/'
    deps="libsecret-1-0 python3 openssl libqt6widgets6 libqt6svg6 libqt6network6 libc6 libqrcodegencpp1 libplist3"
    synopsis="" ;;
vesperline)
    id=io.zembrix.vesperline exec="Exec=vesperline %u" extra_files=(./usr/share/man/man1/vesperline.1.gz)
    # Nothing of the tray application, nor the kit's development files.
    foreign='vesperline-relay|\.a$|\.h$|/cmake/'
    deps="libsecret-1-0 libqt6quick6 libqt6dbus6 libqt6multimedia6 libzxing2 qml6-module-qtquick-controls
          qml6-module-qtquick-dialogs qml6-module-qtmultimedia"
    # Its own synopsis, not the tray application's beside it in the same tree.
    synopsis="follow coding agents and answer their prompts" ;;
*) echo "unknown package $package"; exit 2 ;;
esac

contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
echo "$info"
echo "$contents"

for path in \
    ./usr/bin/$package \
    ./usr/share/applications/$id.desktop \
    ./usr/share/icons/hicolor/scalable/apps/$id.svg \
    ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/doc/$package/copyright \
    ./usr/share/doc/$package/changelog.gz \
    "${extra_files[@]}"; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q "^-rwxr-xr-x root/root .* \./usr/bin/$package\$" <<<"$contents" \
    || fail "$package is not an executable owned by root"
if grep -Eq "$foreign" <<<"$contents"; then fail "the package carries another package's files"; fi

depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dep in $deps; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q "^ Package: $package\$" <<<"$info" || fail "wrong package name"
grep -q '^ Maintainer: .*<.*@.*>$' <<<"$info" || fail "no maintainer address"
[ -z "$synopsis" ] || grep -q "^ Description: $synopsis\$" <<<"$info" || fail "wrong synopsis"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
entry="$unpacked/usr/share/applications/$id.desktop"
desktop-file-validate "$entry" || fail "desktop entry invalid"
appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo invalid"
grep -qx "Icon=$id" "$entry" || fail "the desktop entry names another icon"
grep -qx "$exec" "$entry" || fail "the desktop entry starts another program, or does not hand it the link"
if [ "$package" = vesperline ]; then
    grep -qx "MimeType=x-scheme-handler/idlewyn;" "$entry" || fail "the desktop entry does not take idlewyn:// links"
    man -l "$unpacked/usr/share/man/man1/vesperline.1.gz" >/dev/null 2>&1 || fail "the manual page does not render"
fi
grep -q '<svg' "$unpacked/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is no SVG"
zcat "$unpacked/usr/share/doc/$package/changelog.gz" | head -n1 | grep -q "^$package (" \
    || fail "the changelog does not name the package"
# No sanitizer runtime, no debug build in the package.
if objdump -p "$unpacked/usr/bin/$package" | grep -q 'NEEDED.*lib[at]san'; then fail "the program links a sanitizer runtime"; fi
if readelf -S "$unpacked/usr/bin/$package" | grep -q '\.debug_info'; then fail "the program is not stripped"; fi

if command -v lintian >/dev/null; then
    # Errors fail the check; warnings are printed for whoever reads the log.
    lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
    echo "$lintian_output"
    if grep -q '^E: ' <<<"$lintian_output"; then fail "lintian reports errors"; fi
else
    echo "lintian is not installed: skipped"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "$package: package checks passed"
