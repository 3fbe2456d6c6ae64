#!/usr/bin/env bash
# Self-test of the private print server used by the print tests
# (cups_server.sh + pdf-backend + kavelora-pdf.ppd).
#
# needs: cups-daemon cups-client cups-filters poppler-utils
#
# Starts a server whose folder sits inside a folder of mode 0700, as a clone
# in a home folder does, sends hand-made PDFs to it with lp and checks what
# the backend saves, then stops it.  Must run as root, like cups_server.sh.
# Ends with "N passed, M failed"; exit status is non-zero when anything
# failed.

set -uo pipefail
export LC_ALL=C

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SERVER_SH=$HERE/cups_server.sh
WAIT=${KAVELORA_PRINT_WAIT:-30}    # seconds to wait for a job's file

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; [[ -z ${2:-} ]] || printf '      %s\n' "$2"; }

for tool in pdfinfo pdftotext lp lpstat; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "missing tool $tool (packages: cups-client poppler-utils)" >&2
        echo "0 passed, 1 failed"
        exit 1
    fi
done

# mktemp makes its folder 0700: user lp, who runs the backend, cannot enter it.
CLOSED=$(mktemp -d /tmp/kavelora-cups.XXXXXX)
DIR=$CLOSED/server
cleanup() {
    "$SERVER_SH" stop "$DIR" >/dev/null 2>&1 || true
    rm -rf "$CLOSED"
}
trap cleanup EXIT

# make_pdf FILE TEXT PAGES: a small valid PDF whose every page shows TEXT
# followed by the page number, with a correct cross-reference table.
make_pdf() {
    local file=$1 text=$2 pages=$3
    local -a objs=()
    local kids="" i n content
    # 1 catalog, 2 page tree, 3 font, then a (page, contents) pair per page.
    for ((i = 0; i < pages; i++)); do
        kids+="$((4 + 2 * i)) 0 R "
    done
    objs+=("<< /Type /Catalog /Pages 2 0 R >>")
    objs+=("<< /Type /Pages /Kids [ ${kids}] /Count $pages >>")
    objs+=("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
    for ((i = 0; i < pages; i++)); do
        content="BT /F1 24 Tf 72 720 Td ($text $((i + 1))) Tj ET"
        objs+=("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> /Contents $((5 + 2 * i)) 0 R >>")
        objs+=("<< /Length ${#content} >>
stream
$content
endstream")
    done

    local out="%PDF-1.4"$'\n'
    local -a offsets=()
    n=${#objs[@]}
    for ((i = 0; i < n; i++)); do
        offsets+=("${#out}")
        out+="$((i + 1)) 0 obj"$'\n'"${objs[i]}"$'\n'"endobj"$'\n'
    done
    local xref=${#out}
    out+="xref"$'\n'"0 $((n + 1))"$'\n'"0000000000 65535 f "$'\n'
    for ((i = 0; i < n; i++)); do
        out+=$(printf '%010d 00000 n ' "${offsets[i]}")$'\n'
    done
    out+="trailer"$'\n'"<< /Size $((n + 1)) /Root 1 0 R >>"$'\n'"startxref"$'\n'"$xref"$'\n'"%%EOF"$'\n'
    printf '%s' "$out" >"$file"
}

# submit FILE TITLE: prints the job id CUPS gave the job.
submit() {
    local reply
    reply=$(lp -t "$2" "$1" 2>&1) || { echo "lp failed: $reply" >&2; return 1; }
    [[ $reply =~ request\ id\ is\ kavelora-pdf-([0-9]+) ]] || { echo "unexpected lp reply: $reply" >&2; return 1; }
    echo "${BASH_REMATCH[1]}"
}

# wait_for FILE: bounded wait until FILE exists.
wait_for() {
    local deadline=$((SECONDS + WAIT))
    while ((SECONDS < deadline)); do
        [[ -f $1 ]] && return 0
        sleep 0.1
    done
    return 1
}

field() { sed -n "s/^$2: *//p" <<<"$1" | head -n 1; }

# --- start --------------------------------------------------------------
t0=$(date +%s.%N)
start_out=$("$SERVER_SH" start "$DIR" 2>"$CLOSED/start.err")
start_rc=$?
t1=$(date +%s.%N)
if [[ $start_rc -eq 0 && $start_out =~ ^CUPS_SERVER=(.+)$ && -f $DIR/env ]]; then
    # shellcheck disable=SC1091
    . "$DIR/env"
    if [[ $CUPS_SERVER == "${BASH_REMATCH[1]}" && -d $KAVELORA_PRINT_OUTPUT ]]; then
        pass "server starts ($(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s) and writes its env file"
    else
        fail "env file disagrees with the start output" "$start_out / $(cat "$DIR/env")"
    fi
else
    fail "server starts from inside a 0700 folder" "rc=$start_rc out='$start_out' err='$(cat "$CLOSED/start.err")'"
    echo "$passed passed, $failed failed"
    exit 1
fi

# The state lives where lp can write, outside the closed folder.
STATE_ROOT=$(dirname "$KAVELORA_PRINT_OUTPUT")
if [[ $KAVELORA_PRINT_OUTPUT != "$CLOSED"/* ]] &&
    setpriv --reuid=lp --regid=lp --clear-groups -- test -w "$KAVELORA_PRINT_OUTPUT"; then
    pass "jobs go to $KAVELORA_PRINT_OUTPUT, which lp can write"
else
    fail "jobs go to a folder lp can write" "$KAVELORA_PRINT_OUTPUT"
fi

# --- it answers on both transports and the queue is the default ----------
# (lpstat -r exits 0 whether or not a scheduler answers; read its text.)
if [[ $(lpstat -r 2>&1) == "scheduler is running" &&
    $(CUPS_SERVER=$KAVELORA_CUPS_TCP lpstat -r 2>&1) == "scheduler is running" ]]; then
    pass "scheduler answers on $CUPS_SERVER and $KAVELORA_CUPS_TCP"
else
    fail "scheduler answers on both addresses"
fi

default=$(lpstat -d 2>&1)
if [[ $default == "system default destination: kavelora-pdf" ]]; then
    pass "kavelora-pdf is the default destination"
else
    fail "kavelora-pdf is the default destination" "$default"
fi

# A second start must find the running server rather than start another.
pid_before=$(cat "$STATE_ROOT/cupsd.pid")
again=$("$SERVER_SH" start "$DIR" 2>/dev/null)
if [[ $again == "CUPS_SERVER=$CUPS_SERVER" && $(cat "$STATE_ROOT/cupsd.pid") == "$pid_before" ]]; then
    pass "starting again reuses the running server"
else
    fail "starting again reuses the running server" "'$again', pid $pid_before -> $(cat "$STATE_ROOT/cupsd.pid")"
fi

# --- one job --------------------------------------------------------------
make_pdf "$CLOSED/one.pdf" "KAVELORA-SELFTEST-ONE" 1
if ! pdfinfo "$CLOSED/one.pdf" >/dev/null 2>&1; then
    fail "hand-made test PDF is valid" "$(pdfinfo "$CLOSED/one.pdf" 2>&1)"
fi
if id1=$(submit "$CLOSED/one.pdf" "first job"); then
    out1=$KAVELORA_PRINT_OUTPUT/job-$id1.pdf
    if wait_for "$out1"; then
        info=$(pdfinfo "$out1" 2>&1)
        text=$(pdftotext "$out1" - 2>/dev/null)
        pages=$(field "$info" Pages)
        size=$(field "$info" "Page size")
        if [[ $pages == 1 && $size == "595 x 842 pts (A4)" && $text == *"KAVELORA-SELFTEST-ONE 1"* ]] &&
            grep -qx 'title=first job' "$KAVELORA_PRINT_OUTPUT/job-$id1.info"; then
            pass "a printed PDF arrives as job-$id1.pdf: 1 A4 page with the text sent"
        else
            fail "printed PDF content" "pages='$pages' size='$size' text='$text' info='$(cat "$KAVELORA_PRINT_OUTPUT/job-$id1.info" 2>&1)'"
        fi
    else
        fail "a printed PDF arrives within ${WAIT}s" "$(ls -la "$KAVELORA_PRINT_OUTPUT"; lpstat -W all -l -o 2>&1 | tail -n 5)"
    fi
else
    fail "lp accepts a job"
fi

# --- two more jobs, one of them with two pages ---------------------------
make_pdf "$CLOSED/two.pdf" "KAVELORA-SELFTEST-TWO" 2
before=$(find "$KAVELORA_PRINT_OUTPUT" -name 'job-*.pdf' | wc -l)
ida=$(submit "$CLOSED/one.pdf" "second job") || ida=""
idb=$(submit "$CLOSED/two.pdf" "third job") || idb=""
if [[ -n $ida && -n $idb && $ida != "$idb" ]] &&
    wait_for "$KAVELORA_PRINT_OUTPUT/job-$ida.pdf" && wait_for "$KAVELORA_PRINT_OUTPUT/job-$idb.pdf"; then
    after=$(find "$KAVELORA_PRINT_OUTPUT" -name 'job-*.pdf' | wc -l)
    pa=$(field "$(pdfinfo "$KAVELORA_PRINT_OUTPUT/job-$ida.pdf" 2>&1)" Pages)
    pb=$(field "$(pdfinfo "$KAVELORA_PRINT_OUTPUT/job-$idb.pdf" 2>&1)" Pages)
    tb=$(pdftotext "$KAVELORA_PRINT_OUTPUT/job-$idb.pdf" - 2>/dev/null)
    if [[ $((after - before)) -eq 2 && $pa == 1 && $pb == 2 &&
        $tb == *"KAVELORA-SELFTEST-TWO 1"*"KAVELORA-SELFTEST-TWO 2"* ]]; then
        pass "two more jobs give two more files (1 and 2 pages)"
    else
        fail "two more jobs give two more files" "files $before -> $after, pages $pa/$pb, text '$tb'"
    fi
else
    fail "two more jobs arrive within ${WAIT}s" "ids '$ida' '$idb'; $(ls -la "$KAVELORA_PRINT_OUTPUT")"
fi

# No temporary files are left behind by the backend.
leftovers=$(find "$KAVELORA_PRINT_OUTPUT" -name '.*.part')
if [[ -z $leftovers ]]; then
    pass "backend leaves no temporary files"
else
    fail "backend leaves no temporary files" "$leftovers"
fi

# --- a job the backend cannot save is aborted at once, not held ----------
chmod 0555 "$KAVELORA_PRINT_OUTPUT"
if idf=$(submit "$CLOSED/one.pdf" "doomed job"); then
    deadline=$((SECONDS + WAIT))
    state=""
    while ((SECONDS < deadline)); do
        # lpstat lists a job under "completed" once it has ended in any way.
        if lpstat -W completed -o kavelora-pdf 2>/dev/null | grep -q "^kavelora-pdf-$idf "; then
            state=ended
            break
        fi
        sleep 0.2
    done
    if [[ $state == ended && ! -e $KAVELORA_PRINT_OUTPUT/job-$idf.pdf ]] &&
        lpstat -p kavelora-pdf 2>/dev/null | grep -q 'enabled'; then
        pass "a failing job ends at once and the queue stays enabled"
    else
        fail "a failing job ends at once" "state='$state'; $(lpstat -W all -l -o 2>&1 | tail -n 6)"
    fi
else
    fail "lp accepts a job while the output folder is read-only"
fi
chmod 0755 "$KAVELORA_PRINT_OUTPUT"

# --- stop -----------------------------------------------------------------
pid=$(cat "$STATE_ROOT/cupsd.pid")
t0=$(date +%s.%N)
"$SERVER_SH" stop "$DIR" 2>/dev/null
stop_rc=$?
t1=$(date +%s.%N)
gone=yes
if [[ -d /proc/$pid ]] && [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]]; then
    gone=no
fi
if [[ $stop_rc -eq 0 && $gone == yes && ! -e $STATE_ROOT && ! -e $DIR/env &&
    $(CUPS_SERVER=$KAVELORA_CUPS_TCP lpstat -r 2>&1) != "scheduler is running" ]]; then
    pass "server stops ($(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s); pid $pid and its state are gone"
else
    fail "server stops and removes its state" "rc=$stop_rc gone=$gone state=$(ls -d "$STATE_ROOT" "$DIR/env" 2>&1)"
fi

if "$SERVER_SH" stop "$DIR" 2>/dev/null; then
    pass "stopping twice is harmless"
else
    fail "stopping twice is harmless"
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
