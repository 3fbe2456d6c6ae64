#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the viewer and its tests, and runs every test: the
# offscreen suites, and the end-to-end tests in real windows on a private X server.
set -euo pipefail
KAVELORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$KAVELORA_ROOT/scripts/common.sh"

TEST_PACKAGES=(
    xvfb xauth x11-utils xdotool wmctrl openbox
    poppler-utils cups-daemon cups-client cups-filters
    desktop-file-utils appstream lintian dpkg-dev fakeroot binutils
)
ensure_packages "${KAVELORA_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

BUILD_DIR="$KAVELORA_ROOT/build-test"
configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVELORA_WERROR=ON \
    -DBUILD_TESTING=ON

work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private X server wide enough for the layout tests; -displayfd picks a free display and
# writes its number to the file.
Xvfb -displayfd 3 -screen 0 7000x2000x24 -dpi 96 -nolisten tcp \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
for _ in $(seq 100); do
    display=$(cat "$work/display" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
done
[ -n "$display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$display"
echo "Private X server on $DISPLAY"

(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)")

# The Debian package: built, checked with lintian, installed, started, removed.
as_root "$KAVELORA_ROOT/tests/packaging/test_deb_package.sh" "$BUILD_DIR"

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run.
SANITIZE_DIR="$KAVELORA_ROOT/build-sanitize"
configure_and_build "$SANITIZE_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVELORA_WERROR=ON \
    -DBUILD_TESTING=ON -DKAVELORA_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1
export LSAN_OPTIONS="suppressions=$KAVELORA_ROOT/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$SANITIZE_DIR" && ctest --output-on-failure -j "$(nproc)")
