#!/bin/bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
#
# Builds the Debian package from a configured build folder, checks its contents, its relations
# and lintian's verdict, installs it, starts the installed program the way the desktop menu
# does under a private Xvfb, and removes the package again.
#
#   tests/packaging/test_deb_package.sh BUILD_DIR
#
# Needs root (it installs and removes the package) and: dpkg-dev fakeroot lintian
# desktop-file-utils xvfb xdotool x11-utils binutils. Prints "N passed, M failed" at the end and
# exits non-zero when anything failed.

set -u

build_dir=${1:?usage: test_deb_package.sh BUILD_DIR}
build_dir=$(cd "$build_dir" && pwd) || exit 2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

package=kavelora
application_id=net.ternwick.Kavelora
window_title='Kavelora Ver1.0'
wait_seconds=10

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1${2:+ -- $2}"; }
check() { # check DESCRIPTION COMMAND...: passes when the command succeeds
    local description=$1
    shift
    if "$@"; then pass "$description"; else fail "$description"; fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

work_dir=$(mktemp -d)
xvfb_pid=
program_pid=
installed_here=0
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    # A run that stopped half-way must not leave the package behind.
    if [ "$installed_here" -eq 1 ] && dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null |
        grep -qx installed; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package" >/dev/null 2>&1
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT

if [ "$(id -u)" -ne 0 ]; then
    fail "running as root" "installing the package needs root"
    finish
fi
for tool in cpack dpkg-deb dpkg-shlibdeps fakeroot lintian desktop-file-validate Xvfb xdotool \
    xprop readelf apt-get; do
    command -v "$tool" >/dev/null || fail "tool $tool is installed"
done
[ "$failed" -eq 0 ] || finish

# The package version is the version record's product version.
version=$(awk -F '\t' '$1 == "ProductVersion" { print $2 }' "$source_dir/src/shell/version_record.tsv")
architecture=$(dpkg --print-architecture)
deb="$build_dir/${package}_${version}_${architecture}.deb"

## Building
rm -f "$deb"
if (cd "$build_dir" && cpack -G DEB >"$work_dir/cpack.log" 2>&1) && [ -f "$deb" ]; then
    pass "cpack builds $(basename "$deb")"
else
    fail "cpack builds $(basename "$deb")" "$(tail -n 20 "$work_dir/cpack.log")"
    finish
fi

## Contents: exactly the program, its decoder helper, its plugin folder (links to Qt's plugin
## kinds but the image formats) and its desktop integration, nothing from the build.
expected_files="./usr/bin/$package
./usr/libexec/$package/$package-decoder
./usr/share/applications/$application_id.desktop
./usr/share/doc/$package/changelog.gz
./usr/share/doc/$package/copyright
./usr/share/icons/hicolor/128x128/apps/$application_id.png
./usr/share/icons/hicolor/32x32/apps/$application_id.png
./usr/share/icons/hicolor/48x48/apps/$application_id.png
./usr/share/icons/hicolor/64x64/apps/$application_id.png
./usr/share/man/man1/$package.1.gz
./usr/share/metainfo/$application_id.metainfo.xml"
actual_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^[dl]/ { print $6 }' | LC_ALL=C sort)
if [ "$actual_files" = "$(echo "$expected_files" | LC_ALL=C sort)" ]; then
    pass "file list"
else
    fail "file list" "$(diff <(echo "$expected_files" | LC_ALL=C sort) <(echo "$actual_files"))"
fi
plugin_links=$(dpkg-deb -c "$deb" | awk '$1 ~ /^l/ { print $6, $8 }')
check "plugin links name Qt's plugin kinds, relative, and no image formats" bash -c "
    [ -n '$plugin_links' ] &&
    ! grep -v '^./usr/libexec/$package/qt-plugins/[a-z-]* \.\./' <<<'$plugin_links' &&
    ! grep -q imageformats <<<'$plugin_links'"
if dpkg-deb -c "$deb" | awk '$1 !~ /^l/ { print $1, $2 }' | grep -qv '^[-d]rw[-x]r-[-x]r-[-x] root/root$'; then
    fail "files are owned by root and not writable by others"
else
    pass "files are owned by root and not writable by others"
fi

## Control fields
field() { dpkg-deb -f "$deb" "$1"; }
check "version is the record's $version" [ "$(field Version)" = "$version" ]
check "section graphics" [ "$(field Section)" = graphics ]
check "maintainer is 'name <address>'" \
    grep -qE '^[^<>]+ <[^<>@ ]+@[^<> ]+>$' <<<"$(field Maintainer)"
depends=$(field Depends)
depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed -E 's/^ +//; s/[ (].*$//' | sort -u)
# Pieces Qt loads at run time, which dpkg-shlibdeps cannot see.
for runtime_piece in qt6-image-formats-plugins qt6-translations-l10n fonts-ipafont-gothic \
    libcups2 libqt6widgets6; do
    check "Depends names $runtime_piece" grep -qx "$runtime_piece" <<<"$depends_names"
done
check "Recommends qt6-wayland" grep -qw qt6-wayland <<<"$(field Recommends)"
# Every shared library the packaged program needs comes from a package it depends on.
owner_of() { # the package owning a library path, whichever side of the /usr merge dpkg knows
    local path real
    path=$1
    real=$(readlink -f "$path")
    for candidate in "$path" "$real" "${real#/usr}"; do
        dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1 | grep . && return
    done
}
dpkg-deb -x "$deb" "$work_dir/root"
for binary in "usr/bin/$package" "usr/libexec/$package/$package-decoder"; do
    missing=
    for library in $(readelf -d "$work_dir/root/$binary" |
        sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path=$(ldconfig -p | awk -v lib="$library" '$1 == lib { print $NF; exit }')
        owner=$(owner_of "$path")
        grep -qx "${owner:-unknown}" <<<"$depends_names" || missing="$missing $library(${owner:-unknown})"
    done
    check "Depends covers every library $binary needs${missing:+: missing$missing}" [ -z "$missing" ]
    check "$binary is stripped" \
        bash -c "! readelf -S '$work_dir/root/$binary' | grep -q '\.debug_info'"
    check "$binary is position-independent with full RELRO" \
        bash -c "readelf -h '$work_dir/root/$binary' | grep -q 'DYN ' &&
            readelf -d '$work_dir/root/$binary' | grep -q 'FLAGS.*BIND_NOW' &&
            readelf -l '$work_dir/root/$binary' | grep -q GNU_RELRO"
    # Paths are kept as UTF-16 literals as well as in UTF-8: both kinds of strings are read.
    check "$binary names no path of the tree it was built in" \
        bash -c "! { strings -a '$work_dir/root/$binary'; strings -a -el '$work_dir/root/$binary'; } |
            grep -qF -e '$build_dir' -e '$source_dir'"
done

## Lintian: no errors; warnings are shown for the record.
if lintian --fail-on error "$deb" \
    >"$work_dir/lintian.log" 2>&1; then
    pass "lintian reports no errors"
else
    fail "lintian reports no errors" "$(cat "$work_dir/lintian.log")"
fi
grep '^[WI]: ' "$work_dir/lintian.log" | sed 's/^/  lintian: /'

## Installing: apt pulls in the dependencies on a fresh system.
if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work_dir/install.log" 2>&1; then
    installed_here=1
    pass "apt-get install"
else
    fail "apt-get install" "$(tail -n 20 "$work_dir/install.log")"
    finish
fi
desktop_entry=/usr/share/applications/$application_id.desktop
check "kavelora is on the PATH" [ "$(command -v "$package")" = "/usr/bin/$package" ]
decoder=/usr/libexec/$package/$package-decoder
check "the decoder helper is installed" [ -x "$decoder" ]
check "installed desktop entry validates" desktop-file-validate "$desktop_entry"
# desktop-file-utils' trigger rebuilds the desktop's table of which entries open which types.
check "the desktop offers it for opening PNG pictures" \
    grep -qE "^image/png=(.*;)?$application_id\.desktop;" /usr/share/applications/mimeinfo.cache
check "icon in the hicolor theme" [ -s "/usr/share/icons/hicolor/48x48/apps/$application_id.png" ]
check "man page" [ -s "/usr/share/man/man1/$package.1.gz" ]

## Starting it the way the menu does: the desktop entry's Exec line, under a private X server.
## Started with no file, a launcher drops the line's field codes (%f).
exec_line=$(sed -n 's/^Exec=//p' "$desktop_entry" | sed -E 's/ +%[fFuU]//g')
wm_class_expected=$(sed -n 's/^StartupWMClass=//p' "$desktop_entry")
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp \
    3>"$work_dir/display" 2>"$work_dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq $((wait_seconds * 10))); do
    [ -s "$work_dir/display" ] && break
    sleep 0.1
done
if [ ! -s "$work_dir/display" ]; then
    fail "Xvfb starts" "$(cat "$work_dir/xvfb.log")"
    finish
fi
export DISPLAY=":$(head -n 1 "$work_dir/display")"
(cd "$work_dir" && unset WAYLAND_DISPLAY && export QT_QPA_PLATFORM=xcb && exec $exec_line) >"$work_dir/program.log" 2>&1 &
program_pid=$!
window=
for _ in $(seq $((wait_seconds * 10))); do
    window=$(xdotool search --onlyvisible --name "^${window_title//./\\.}\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -n "$window" ]; then
    pass "window \"$window_title\" appears"
    wm_class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*= "[^"]*", "\([^"]*\)"$/\1/p')
    check "WM_CLASS class '$wm_class' is StartupWMClass '$wm_class_expected'" \
        test -n "$wm_class" -a "$wm_class" = "$wm_class_expected"
    pid_of_window=$(xprop -id "$window" _NET_WM_PID | sed -n 's/.*= //p')
    check "window belongs to the started program" [ "$pid_of_window" = "$program_pid" ]
    helper_runs() {
        local child
        for child in $(cat /proc/"$program_pid"/task/*/children 2>/dev/null); do
            [ "$(readlink /proc/"$child"/exe)" = "$decoder" ] && return 0
        done
        return 1
    }
    for _ in $(seq $((wait_seconds * 10))); do
        helper_runs && break
        sleep 0.1
    done
    check "the installed decoder helper runs beside the window" helper_runs
else
    fail "window \"$window_title\" appears" "$(cat "$work_dir/program.log")"
fi
# Qt ignores a close request without a window manager to deliver it; end it directly.
kill -TERM "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
program_pid=
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
xvfb_pid=

## Removing
if DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package" >"$work_dir/remove.log" 2>&1; then
    pass "apt-get remove"
else
    fail "apt-get remove" "$(tail -n 20 "$work_dir/remove.log")"
fi
check "program is gone" [ ! -e "/usr/bin/$package" ]
check "desktop entry is gone" [ ! -e "$desktop_entry" ]
check "package is no longer installed" \
    bash -c "! dpkg-query -W -f='\${db:Status-Status}' '$package' 2>/dev/null | grep -qx installed"

finish
