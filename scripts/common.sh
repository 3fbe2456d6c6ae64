# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Shared by run.sh and test.sh: package installation and the build.

# Debian packages needed to build and run the viewer.
KAVELORA_BUILD_PACKAGES=(
    cmake g++ make pkg-config libfontconfig-dev libjpeg-dev
    libseccomp-dev libpng-dev libdeflate-dev libwebp-dev libtiff-dev libgif-dev
    libde265-dev libheif-dev libavif-dev libjxl-dev liblcms2-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libqt6printsupport6 qt6-qpa-plugins qt6-image-formats-plugins
    qt6-translations-l10n fonts-ipafont-gothic
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Installs whichever of the given packages are missing; does nothing when all are there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}"
    fi
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local build_dir=$1
    shift
    cmake -S "$KAVELORA_ROOT" -B "$build_dir" "$@"
    cmake --build "$build_dir" -j "$(nproc)"
}

# make_private_work_dir: makes a temporary folder, $work, for a private X server and its
# files; when the script exits, the server start_private_xvfb started is stopped and the
# folder removed.
make_private_work_dir() {
    work=$(mktemp -d)
    xvfb_pid=
    trap remove_private_work_dir EXIT
}

remove_private_work_dir() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}

# start_private_xvfb WORK_DIR WIDTHxHEIGHT [Xvfb options...]: starts a private X server at
# 96 dpi on a free display (-displayfd picks it), exports DISPLAY and sets xvfb_pid for the
# caller's cleanup.
start_private_xvfb() {
    local work=$1 size=$2
    shift 2
    Xvfb -displayfd 3 -screen 0 "${size}x24" -dpi 96 -nolisten tcp "$@" \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local display=
    for _ in $(seq 100); do
        display=$(cat "$work/display" 2>/dev/null || true)
        [ -n "$display" ] && break
        sleep 0.1
    done
    [ -n "$display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; return 1; }
    export DISPLAY=":$display"
}
