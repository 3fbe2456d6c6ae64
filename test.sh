#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the viewer and its tests, and runs every test: the
# offscreen suites, the hostile-input runs (a generated corpus and Debian's public test
# pictures, each file loaded in its own bounded process), the end-to-end tests in real
# windows on a private X server, the package test, libFuzzer runs on the decoder, and the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
# The private print server and the package test need root; a user runs the whole suite
# through sudo rather than failing half-way.
if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=PATH "$0" "$@"
fi
KAVELORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$KAVELORA_ROOT/scripts/common.sh"

TEST_PACKAGES=(
    xvfb xauth x11-utils xdotool wmctrl openbox iproute2
    # gui_stall_probe pings the viewer's window through xcb in tst_e2e_stall.
    libxcb1-dev
    poppler-utils cups-daemon cups-client cups-filters
    desktop-file-utils appstream lintian dpkg-dev fakeroot binutils
    time zlib1g-dev clang-14 libclang-rt-14-dev
    # The encoders the HEIF, AVIF and JPEG XL reader tests make their pictures with.
    libheif-examples libavif-bin libjxl-tools
    # The HEVC encoder the tests' HEIF writer codes its pictures with.
    libx265-dev
    # Public test pictures, read in place by the hostile-input run, and more real pictures
    # with gdk-pixbuf's thumbnailer to compare against.
    gdk-pixbuf-tests libsdl2-image-tests libjxl-testdata
    libsdl2-tests desktop-base tango-icon-theme libgdk-pixbuf2.0-bin
    # The stalling file system a picture sits on in tst_stalled_file.
    fuse3 libfuse3-dev
    # The Wayland and screen-reader tests: a headless compositor, AT-SPI on a private bus.
    weston qt6-wayland dbus-daemon dbus-bin at-spi2-core python3-pyatspi python3-pil
)
ensure_packages "${KAVELORA_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

BUILD_DIR="$KAVELORA_ROOT/build-test"
configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVELORA_WERROR=ON \
    -DBUILD_TESTING=ON

make_private_work_dir

# A private X server wide enough for the layout tests. -noreset keeps it from resetting, and
# refusing connections for a moment, each time the last client of a test leaves.
start_private_xvfb "$work" 7000x2000 -noreset
echo "Private X server on $DISPLAY"

(cd "$BUILD_DIR" && ctest --output-on-failure -j "$(nproc)")

# The Debian package: built, checked with lintian, installed, started, removed.
as_root "$KAVELORA_ROOT/tests/packaging/test_deb_package.sh" "$BUILD_DIR"

# The decoder helper's code under libFuzzer, built with clang in its own folder, where pictures
# are capped lower (protocol/picture_limits.h): the whole decode, the pre-checks, each reader, and the
# messages between viewer and helper. The table of targets, their seconds and their seeds is
# in run_fuzz_targets.sh; each replays every input it ever found first. A finding, or fewer
# executions than a run needs, fails the run.
FUZZ_DIR="$KAVELORA_ROOT/build-fuzz"
cmake -S "$KAVELORA_ROOT" -B "$FUZZ_DIR" -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DKAVELORA_BUILD_FUZZER=ON
cmake --build "$FUZZ_DIR" -j "$(nproc)" --target fuzzers
"$KAVELORA_ROOT/tests/fuzz/run_fuzz_targets.sh" "$FUZZ_DIR" \
    "$BUILD_DIR/tests/hostile/corpus/seeds"

# The whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run.
SANITIZE_DIR="$KAVELORA_ROOT/build-sanitize"
configure_and_build "$SANITIZE_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVELORA_WERROR=ON \
    -DBUILD_TESTING=ON -DKAVELORA_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1
export LSAN_OPTIONS="suppressions=$KAVELORA_ROOT/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$SANITIZE_DIR" && ctest --output-on-failure -j "$(nproc)")
