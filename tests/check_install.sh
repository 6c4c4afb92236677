#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop and udev will read there:
# the program, a valid desktop entry whose Exec and Icon resolve inside the prefix, valid
# AppStream data, the udev rule with the "uaccess" tag for both devices, the DCS export
# script and the documentation. Exits 77 (skipped) when the validators are not installed.
# Usage: check_install.sh BUILD_DIR
set -euo pipefail
build="$1"
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
need() {
    [ -e "$prefix/$1" ] || fail "$1 is not installed"
}

id=com.grovik.trennal
desktop="$prefix/share/applications/$id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
rules="$prefix/lib/udev/rules.d/70-grovik-trennal.rules"
for f in bin/grovik-trennal "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
    "share/icons/hicolor/128x128/apps/$id.png" lib/udev/rules.d/70-grovik-trennal.rules \
    share/grovik-trennal/grovik_logo_icon_inverted.png share/grovik-trennal/dcs/grovik-trennal-export.lua \
    share/doc/grovik-trennal/README.md share/doc/grovik-trennal/docs/games.md; do
    need "$f"
done
[ -x "$prefix/bin/grovik-trennal" ] || fail "bin/grovik-trennal is not executable"
# Every local link of the installed README leads to an installed file.
for link in $(grep -o '](docs/[^)]*)' "$prefix/share/doc/grovik-trennal/README.md" | sed 's/^](\(.*\))$/\1/'); do
    need "share/doc/grovik-trennal/$link"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $id.metainfo.xml"

# What the menu starts and shows must be what was installed.
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
[ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not in bin/"
icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
[ -e "$prefix/share/icons/hicolor/128x128/apps/$icon_name.png" ] || fail "Icon=$icon_name is not in the hicolor theme"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $id.desktop"

for product in 7a10 7a2c; do
    grep -Eq "^SUBSYSTEM==\"hidraw\", ATTRS\{idVendor\}==\"3f21\", ATTRS\{idProduct\}==\"$product\", TAG\+=\"uaccess\"$" \
        "$rules" || fail "the udev rule does not give access to 3f21:$product"
done

# The installed program answers without a display.
version="$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/grovik-trennal" --version)" ||
    fail "grovik-trennal --version failed"
[[ "$version" == "grovik-trennal "* ]] || fail "unexpected version text: $version"

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "Installed files are complete and valid."
