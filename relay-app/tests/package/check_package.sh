#!/usr/bin/env bash
# Looks inside the Debian package built in a package tree: where its files
# land, what it depends on, and whether its desktop entry and AppStream
# metadata are valid. lintian runs too when it is installed.
#
#   check_package.sh <package build folder>
set -euo pipefail

tree=$1
debs=("$tree"/vesperline-relay_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one package in $tree, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

contents=$(dpkg-deb -c "$deb")
info=$(dpkg-deb -I "$deb")
echo "$info"
echo "$contents"

id=io.zembrix.vesperline.relay
for path in \
    ./usr/bin/vesperline-relay \
    ./usr/share/applications/$id.desktop \
    ./usr/share/icons/hicolor/scalable/apps/$id.svg \
    ./usr/share/metainfo/$id.metainfo.xml \
    ./usr/share/doc/vesperline-relay/copyright \
    ./usr/share/doc/vesperline-relay/changelog.gz; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/vesperline-relay$' <<<"$contents" \
    || fail "vesperline-relay is not an executable owned by root"
# The kit's development files are not part of the application's package.
if grep -Eq '\.a$|\.h$|/cmake/' <<<"$contents"; then fail "the package carries development files"; fi

depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for dep in libsecret-1-0 python3 openssl libqt6widgets6 libqt6svg6 libqt6network6 libc6 libqrcodegencpp1 libplist3; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q '^ Package: vesperline-relay$' <<<"$info" || fail "wrong package name"
grep -q '^ Maintainer: .*<.*@.*>$' <<<"$info" || fail "no maintainer address"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/$id.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/$id.metainfo.xml" || fail "metainfo invalid"
grep -qx "Icon=$id" "$unpacked/usr/share/applications/$id.desktop" || fail "the desktop entry names another icon"
grep -qx "Exec=vesperline-relay" "$unpacked/usr/share/applications/$id.desktop" || fail "the desktop entry starts another program"
grep -q '<svg' "$unpacked/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is no SVG"
zcat "$unpacked/usr/share/doc/vesperline-relay/changelog.gz" | head -n1 | grep -q "^vesperline-relay (" \
    || fail "the changelog does not name the package"
# No sanitizer runtime, no debug build in the package.
if objdump -p "$unpacked/usr/bin/vesperline-relay" | grep -q 'NEEDED.*lib[at]san'; then fail "the program links a sanitizer runtime"; fi
if readelf -S "$unpacked/usr/bin/vesperline-relay" | grep -q '\.debug_info'; then fail "the program is not stripped"; fi

if command -v lintian >/dev/null; then
    # Errors fail the check; warnings are printed for whoever reads the log.
    lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
    echo "$lintian_output"
    if grep -q '^E: ' <<<"$lintian_output"; then fail "lintian reports errors"; fi
else
    echo "lintian is not installed: skipped"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "package checks passed"
