#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 ternwick
# SPDX-License-Identifier: MIT
# run_probes.sh [--print] [--recursive] [--min-count N] [--min-pictures N] [--limit-mib M]
#               [--timeout S] PROBE PATH...
# Runs PROBE (load_probe) once per file, each in its own process under a hang guard, and takes
# each run's peak memory from the operating system. A folder PATH stands for its entries (with
# --recursive, for the regular files below it that are not programs); any other PATH for
# itself, whatever it is. Fails on a crash (a signal, of the probe or of its decoder helper), a
# hang, a peak over the limit, any other exit or output than the probe's two answers, fewer
# than N files probed, or fewer than N of them named as pictures (--min-pictures: other files
# are probed too, but a folder of notes and reference dumps must not pass for a picture
# collection). Prints a table of outcomes, the slowest load and the largest peak, and
# "N passed, M failed".
set -uo pipefail

print=()
recursive=0
min_count=1
min_pictures=0
limit_mib=600
timeout_seconds=10
while [ $# -gt 0 ]; do
    case $1 in
    --print) print=(--print); shift ;;
    --recursive) recursive=1; shift ;;
    --min-count) min_count=$2; shift 2 ;;
    --min-pictures) min_pictures=$2; shift 2 ;;
    --limit-mib) limit_mib=$2; shift 2 ;;
    --timeout) timeout_seconds=$2; shift 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 2 ]; then
    echo "usage: $0 [--print] [--recursive] [--min-count N] [--min-pictures N] [--limit-mib M] [--timeout S] PROBE PATH..." >&2
    exit 64
fi
probe=$1
shift
for tool in /usr/bin/time timeout; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (Debian packages time, coreutils)"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
list=$work/files
: >"$list"
for path in "$@"; do
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        if [ "$recursive" -eq 1 ]; then
            find "$path" -type f ! -perm /111 -print0 >>"$list"
        else
            find "$path" -mindepth 1 -maxdepth 1 -print0 >>"$list"
        fi
    else
        printf '%s\0' "$path" >>"$list"
    fi
done

declare -A outcomes=() refusals=()
passed=0
failed=0
slowest_ms=-1 slowest_name=
largest_kib=-1 largest_name=
limit_kib=$((limit_mib * 1024))

while IFS= read -r -d '' file; do
    start_ns=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time" \
        timeout -k 2 "$timeout_seconds" "$probe" "${print[@]}" "$file" \
        >"$work/out" 2>"$work/err" </dev/null
    status=$?
    elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))
    peak_kib=$(tail -n 1 "$work/time")
    [[ $peak_kib =~ ^[0-9]+$ ]] || peak_kib=0
    answer=$(head -c 300 "$work/out")

    fault=
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        outcome=hang
        fault="no answer within ${timeout_seconds} s"
    elif [ "$status" -gt 128 ]; then
        outcome=crash
        fault="killed by signal $((status - 128))"
    elif [ "$status" -eq 0 ] && [[ $answer =~ ^shown\ [0-9]+x[0-9]+$ ]]; then
        outcome=shown
    elif [ "$status" -eq 3 ] && [[ $answer =~ ^helper\  ]]; then
        outcome=helper-signal
        fault="${answer#helper }"
    elif [ "$status" -eq 2 ] && [[ $answer =~ ^refused\ ([0-9]+)\  ]]; then
        outcome=refused
        refusals[${BASH_REMATCH[1]}]=$((${refusals[${BASH_REMATCH[1]}]:-0} + 1))
    else
        outcome=other
        fault="exit $status, answer '$answer'"
    fi
    if [ -z "$fault" ] && [ "$peak_kib" -gt "$limit_kib" ]; then
        outcome=over-memory
        fault="peak $((peak_kib / 1024)) MiB"
    fi
    outcomes[$outcome]=$((${outcomes[$outcome]:-0} + 1))
    if [ -n "$fault" ]; then
        failed=$((failed + 1))
        printf 'FAIL %-12s %q: %s\n' "$outcome" "$file" "$fault"
        sed 's/^/    /' "$work/err" | tail -n 20
    else
        passed=$((passed + 1))
    fi
    if [ "$elapsed_ms" -gt "$slowest_ms" ]; then
        slowest_ms=$elapsed_ms
        slowest_name=$(printf '%q (%s)' "$file" "$answer")
    fi
    if [ "$peak_kib" -gt "$largest_kib" ]; then
        largest_kib=$peak_kib
        largest_name=$(printf '%q (%s)' "$file" "$answer")
    fi
done <"$list"

total=$((passed + failed))
echo
printf '%-14s %6s\n' outcome files
for outcome in shown refused crash helper-signal hang over-memory other; do
    printf '%-14s %6d\n' "$outcome" "${outcomes[$outcome]:-0}"
done
for number in $(printf '%s\n' "${!refusals[@]}" | sort -n); do
    printf '  refused %-5s %6d\n' "$number" "${refusals[$number]}"
done
printf '%-14s %6d\n' total "$total"
echo "slowest: ${slowest_ms} ms, $slowest_name"
echo "largest peak: $((largest_kib / 1024)) MiB, $largest_name"
if [ "$total" -lt "$min_count" ]; then
    echo "only $total files probed; at least $min_count expected"
    failed=$((failed + 1))
fi
pictures=$(tr '\0' '\n' <"$list" |
    grep -ciE '\.(bmp|dib|ico|cur|gif|jpe?g|jpe|png|apng|webp|tiff?|pbm|pgm|ppm|pnm|pam|xbm|xpm|tga|pcx|svg|icns|ani|xcf|jxl|avif|qoi|lbm)$' || true)
echo "picture files probed: $pictures"
if [ "$pictures" -lt "$min_pictures" ]; then
    echo "only $pictures picture files probed; at least $min_pictures expected"
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
