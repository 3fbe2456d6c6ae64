#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# compare_with_peer.sh LOAD_PROBE FORMAT_PROBE REVIEWED_LIST PATH...
# Loads every regular, non-program file below each PATH with LOAD_PROBE (the loader, in its
# own process) and with gdk-pixbuf's thumbnailer, and fails when gdk-pixbuf opens a file in a
# format the loader takes (by content, as FORMAT_PROBE tells) that the loader refuses, unless
# REVIEWED_LIST names it: lines "PATH<TAB>reason", '#' for comments. Prints the table of
# outcomes and "N passed, M failed".
set -uo pipefail

if [ $# -lt 4 ]; then
    echo "usage: $0 LOAD_PROBE FORMAT_PROBE REVIEWED_LIST PATH..." >&2
    exit 64
fi
load_probe=$1 format_probe=$2 reviewed=$3
shift 3
thumbnailer=$(command -v gdk-pixbuf-thumbnailer) ||
    { echo "gdk-pixbuf-thumbnailer is missing (Debian package libgdk-pixbuf2.0-bin)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for path in "$@"; do
    [ -d "$path" ] || { echo "$path is missing"; exit 1; }
    find "$path" -type f ! -perm /111 -print0
done | sort -z >"$work/files"

# One line per file: loader outcome, peer outcome, file. Run as "$0 --one FILE" by xargs.
compare_one() {
    local file=$1 ours theirs
    local out
    out=$(timeout -k 2 20 "$load_probe" "$file" 2>/dev/null </dev/null)
    case $? in
    0) ours=shown ;;
    2) ours=refused ;;
    *) ours=fault ;;
    esac
    local thumb
    thumb=$(mktemp --suffix=.png)
    if timeout -k 2 20 "$thumbnailer" -s 64 "$file" "$thumb" >/dev/null 2>&1 </dev/null &&
        [ -s "$thumb" ]; then
        theirs=opened
    else
        theirs=refused
    fi
    rm -f "$thumb"
    printf '%s\t%s\t%s\n' "$ours" "$theirs" "$file"
    [ "$ours" != fault ] || printf 'load_probe answered: %s\n' "$out" >&2
}
export -f compare_one
export load_probe thumbnailer

xargs -0 -P 2 -n 1 bash -c 'compare_one "$1"' _ <"$work/files" >"$work/outcomes"
xargs -0 "$format_probe" <"$work/files" | sed 's/ /\t/' >"$work/formats"

awk -F '\t' -v reviewed="$reviewed" '
    BEGIN {
        while ((getline line < reviewed) > 0) {
            if (line ~ /^#/ || line == "") continue
            split(line, field, "\t")
            if (field[2] == "") { print "no reason given in " reviewed ": " line; bad++ }
            listed[field[1]] = field[2]
        }
    }
    FILENAME ~ /formats$/ { format[$2] = $1; next }
    {
        files++
        if ($1 == "fault") { print "FAIL the loader crashed or hung on " $3; failed++; next }
        if ($1 == "shown" && $2 == "opened") both++
        else if ($1 == "refused" && $2 == "refused") neither++
        else if ($1 == "shown") { ours++; print "only the loader opens " $3 }
        else {
            theirs++
            if (format[$3] == "-") { other_format++; next }
            if ($3 in listed) { accepted++; seen[$3] = 1; print "listed  " $3 ": " listed[$3]; next }
            print "FAIL only gdk-pixbuf opens " $3 " (" format[$3] ")"
            unexplained++
            failed++
        }
    }
    END {
        for (name in listed) if (!(name in seen)) print "listed but no longer differing: " name
        printf "%-34s %6d\n", "files", files
        printf "%-34s %6d\n", "opened by both", both
        printf "%-34s %6d\n", "refused by both", neither
        printf "%-34s %6d\n", "opened only by Kavelora", ours
        printf "%-34s %6d\n", "opened only by gdk-pixbuf", theirs
        printf "%-34s %6d\n", "  in a format Kavelora does not take", other_format
        printf "%-34s %6d\n", "  listed with a reason", accepted
        printf "%-34s %6d\n", "  unexplained", unexplained
        failed += bad
        if (files < 400) { print "only " files " files compared; at least 400 expected"; failed++ }
        printf "%d passed, %d failed\n", files - failed, failed
        exit (failed > 0 ? 1 : 0)
    }' "$work/formats" "$work/outcomes"
