#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the viewer and starts it.
set -euo pipefail
KAVELORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$KAVELORA_ROOT/scripts/common.sh"

ensure_packages "${KAVELORA_BUILD_PACKAGES[@]}" cups-client
configure_and_build "$KAVELORA_ROOT/build-run" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
exec "$KAVELORA_ROOT/build-run/bin/kavelora" "$@"
