#!/bin/sh
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# Runs a test with the private print server's address and output folder, read from the env
# file cups_server.sh wrote into DIR, since they are known only once it has started.
#
# Usage: with_print_server.sh DIR COMMAND [ARGUMENTS...]
# Without the env file the command runs unchanged and reports the server missing itself.
set -eu
dir=$1
shift
if [ -r "$dir/env" ]; then
    # shellcheck disable=SC1091
    . "$dir/env"
fi
exec "$@"
