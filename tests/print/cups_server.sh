#!/usr/bin/env bash
# Private CUPS scheduler for the print tests.
#
# needs: cups-daemon cups-client cups-filters   (self-test also: poppler-utils)
#
# Usage:
#   cups_server.sh start DIR   set up and start a scheduler with one queue
#                              "kavelora-pdf" as the default; prints
#                              "CUPS_SERVER=..." on stdout and writes DIR/env
#                              for sourcing:
#                                export CUPS_SERVER=...            (socket path or 127.0.0.1:PORT)
#                                export KAVELORA_PRINT_OUTPUT=...  (the folder jobs land in)
#                                export KAVELORA_CUPS_TCP=127.0.0.1:PORT
#   cups_server.sh stop DIR    stop it and remove its state (safe to repeat).
#   cups_server.sh status DIR  exit 0 when it is running and answering.
#
# The scheduler's whole state (configuration, spool, cache, logs, output,
# socket) lives in a folder of its own made with mktemp under /tmp (or
# /var/tmp, or $KAVELORA_PRINT_SERVER_PARENT when set), not under DIR: the
# scheduler runs its filters and the backend as user lp, and DIR may sit in a
# folder lp cannot enter, such as a home folder of mode 0700.  DIR keeps only
# the env file and the name of that state folder; stop removes the state
# folder.
#
# Each job sent to the queue ends up as $KAVELORA_PRINT_OUTPUT/job-<id>.pdf
# (plus job-<id>.info with user/title/copies/options), written atomically.
#
# The scheduler listens on a Unix socket in its state folder and on 127.0.0.1
# at a free port; nothing else.  CUPS_SERVER names the socket when its path
# fits in a sockaddr_un (107 bytes), the TCP address otherwise.  Clients then
# find the server through CUPS_SERVER alone.
#
# Must run as root: the scheduler runs filters and the backend as user lp, and
# it only runs helpers that are root-owned and not writable by others, so the
# backend is copied into a private ServerBin folder whose other entries point
# at the system's /usr/lib/cups helpers.  Only the project's backend is put in
# the backend folder: the system ones (snmp, dnssd, ...) would probe the
# network if anything ever listed devices.
#
# Nothing is written outside DIR and the state folder.  The system's own CUPS
# configuration and scheduler are neither read for configuration nor touched.

set -euo pipefail

QUEUE=kavelora-pdf
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BACKEND_SRC=$HERE/pdf-backend
PPD_SRC=$HERE/kavelora-pdf.ppd
SYSTEM_SERVERBIN=/usr/lib/cups
START_TIMEOUT=${KAVELORA_CUPS_START_TIMEOUT:-20}   # seconds
STOP_TIMEOUT=${KAVELORA_CUPS_STOP_TIMEOUT:-10}     # seconds

say() { printf 'cups_server: %s\n' "$*" >&2; }
die() { say "error: $*"; exit 1; }

usage() {
    echo "usage: $0 start|stop|status DIR" >&2
    exit 2
}

check_tools() {
    local missing=()
    command -v cupsd >/dev/null 2>&1 || [[ -x /usr/sbin/cupsd ]] || missing+=(cups-daemon)
    [[ -x $SYSTEM_SERVERBIN/daemon/cups-exec ]] || missing+=(cups-daemon)
    command -v lpadmin >/dev/null 2>&1 || [[ -x /usr/sbin/lpadmin ]] || missing+=(cups-client)
    command -v lpstat >/dev/null 2>&1 || missing+=(cups-client)
    [[ -x $SYSTEM_SERVERBIN/filter/pdftopdf ]] || missing+=(cups-filters)
    if ((${#missing[@]})); then
        die "missing packages: $(printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' ')(apt-get install them)"
    fi
    [[ -r $BACKEND_SRC ]] || die "backend script not found: $BACKEND_SRC"
    [[ -r $PPD_SRC ]] || die "PPD not found: $PPD_SRC"
}

# PATH for everything below: cupsd and lpadmin live in sbin.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH

# --- paths -----------------------------------------------------------------

# The state folders this script makes: mktemp's name under a plain parent.
STATE_NAME_PATTERN='^/[A-Za-z0-9._/+-]+/kavelora-print\.[A-Za-z0-9]{6}$'

# set_paths DIR: the handle folder's files, and the state folder it names
# (ROOT is empty when it names none that is still there).
set_paths() {
    DIR=$1
    ENVFILE=$DIR/env
    ROOTFILE=$DIR/server-root
    ROOT=
    if [[ -f $ROOTFILE ]]; then
        ROOT=$(<"$ROOTFILE")
        # Only a folder this script made is ever used, and later removed.
        if ! [[ $ROOT =~ $STATE_NAME_PATTERN && -d $ROOT && ! -L $ROOT &&
            $(stat -c %u "$ROOT") == 0 ]]; then
            ROOT=
        fi
    fi
    set_state_paths
}

set_state_paths() {
    CONF=$ROOT/conf
    SERVERBIN=$ROOT/serverbin
    SPOOL=$ROOT/spool
    CACHE=$ROOT/cache
    STATE=$ROOT/state
    LOGS=$ROOT/log
    OUTPUT=$ROOT/output
    PIDFILE=$ROOT/cupsd.pid
    PORTFILE=$ROOT/port
    SOCKET=$ROOT/cups.sock
}

# lp_can PATH TEST...: whether user lp passes test(1) on PATH.
lp_can() {
    local path=$1
    shift
    setpriv --reuid=lp --regid=lp --clear-groups -- test "$@" "$path" 2>/dev/null
}

# Makes a fresh state folder that lp can enter, under the first parent that
# lets it, and records it in DIR.
make_state_folder() {
    local parent made
    for parent in ${KAVELORA_PRINT_SERVER_PARENT:-} /tmp /var/tmp; do
        [[ -d $parent ]] || continue
        made=$(mktemp -d "$parent/kavelora-print.XXXXXX" 2>/dev/null) || continue
        made=$(realpath -- "$made")
        chmod 0755 "$made"
        if [[ $made =~ $STATE_NAME_PATTERN ]] && lp_can "$made" -x; then
            ROOT=$made
            set_state_paths
            echo "$ROOT" >"$ROOTFILE"
            return 0
        fi
        rmdir "$made"
    done
    die "no folder for the scheduler's state that user lp can enter (tried ${KAVELORA_PRINT_SERVER_PARENT:-} /tmp /var/tmp)"
}

remove_state_folder() {
    [[ -n $ROOT ]] && rm -rf -- "$ROOT"
    rm -f -- "$ROOTFILE" "$ENVFILE"
    ROOT=
}

resolve_dir() {
    local d=$1
    [[ -n $d ]] || usage
    d=$(realpath -m -- "$d")
    # The folder ends up in the env file, which is sourced: keep its
    # characters plain rather than quoting for each use.
    [[ $d =~ ^/[A-Za-z0-9._/+-]+$ ]] ||
        die "DIR '$d' must be an absolute path of letters, digits and ._+-/ only"
    printf '%s\n' "$d"
}

# --- process helpers --------------------------------------------------------

# Prints the pid of the scheduler started for DIR, if it is still alive.
# The command line is checked too, so a recycled pid is never taken for ours.
running_pid() {
    local pid cmd
    [[ -n $ROOT && -f $PIDFILE ]] || return 1
    pid=$(<"$PIDFILE")
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    [[ -r /proc/$pid/cmdline ]] || return 1
    cmd=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
    [[ $cmd == *cupsd*"$CONF/cupsd.conf"* ]] || return 1
    # A zombie is as good as gone.
    [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]] || return 1
    printf '%s\n' "$pid"
}

# lpstat -r exits 0 either way; only its text tells.
server_answers() {
    [[ $(CUPS_SERVER=$1 lpstat -r 2>/dev/null) == "scheduler is running" ]]
}

# listening_sockets: "PORT INODE" for every listening TCP socket (IPv4/IPv6).
listening_sockets() {
    local table
    local -a f
    for table in /proc/net/tcp /proc/net/tcp6; do
        [[ -r $table ]] || continue
        while read -r -a f; do
            # fields: sl local rem st tx:rx tr:when retrnsmt uid timeout inode
            [[ ${f[3]:-} == 0A ]] || continue
            printf '%d %s\n' "$((16#${f[1]##*:}))" "${f[9]}"
        done < <(tail -n +2 "$table")
    done
}

# listen_inodes PORT: socket inodes listening on TCP PORT.
listen_inodes() {
    listening_sockets | while read -r p i; do
        [[ $p == "$1" ]] && echo "$i"
    done
    return 0
}

# owns_port PID PORT: PID holds the listening socket of TCP PORT.
owns_port() {
    local inode fd
    for inode in $(listen_inodes "$2"); do
        for fd in /proc/"$1"/fd/*; do
            [[ $(readlink "$fd" 2>/dev/null) == "socket:[$inode]" ]] && return 0
        done
    done
    return 1
}

# A TCP port on 127.0.0.1 that nothing listens on right now.
free_port() {
    local used port i
    used=$(listening_sockets | cut -d' ' -f1 | sort -u)
    for ((i = 0; i < 200; i++)); do
        port=$((20000 + RANDOM % 30000))
        if ! grep -qx "$port" <<<"$used"; then
            printf '%s\n' "$port"
            return 0
        fi
    done
    return 1
}

# --- configuration ---------------------------------------------------------

write_config() {
    local port=$1

    cat >"$CONF/cups-files.conf" <<EOF
# Written by cups_server.sh: private scheduler for the print tests.
ServerRoot $CONF
ServerBin $SERVERBIN
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
RequestRoot $SPOOL
TempDir $SPOOL/tmp
CacheDir $CACHE
StateDir $STATE
ServerKeychain $CONF/ssl
CreateSelfSignedCerts no
Printcap $STATE/printcap
AccessLog $LOGS/access_log
ErrorLog $LOGS/error_log
PageLog $LOGS/page_log
LogFileGroup root
LogFilePerm 0644
User lp
Group lp
SystemGroup root
PeerCred on
FileDevice No
SyncOnClose No
FatalErrors config listen log
EOF

    {
        echo "# Written by cups_server.sh: private scheduler for the print tests."
        echo "LogLevel debug"
        echo "MaxLogSize 0"
        if [[ -n $SOCKET_LISTEN ]]; then
            echo "Listen $SOCKET"
        fi
        echo "Listen 127.0.0.1:$port"
        cat <<'EOF'
ServerAlias *
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
DefaultEncryption Never
# A failing backend must end the job at once; the default (stop-printer /
# retry) keeps a test waiting for minutes.
ErrorPolicy abort-job
# Write printers.conf at once instead of 30 s later.
DirtyCleanInterval 0
PreserveJobHistory Yes
PreserveJobFiles No
MaxJobs 0
Timeout 60

# Only loopback and the private socket reach this server, so anyone who does
# may do anything: no authentication anywhere.
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
DefaultPolicy default
EOF
    } >"$CONF/cupsd.conf"
}

setup_tree() {
    local d name

    mkdir -p "$CONF/ppd" "$CONF/ssl" "$SPOOL/tmp" "$CACHE" "$STATE" "$LOGS" "$OUTPUT"
    chmod 0755 "$CONF" "$CONF/ppd" "$CACHE" "$STATE" "$LOGS"
    chmod 0700 "$CONF/ssl"
    chown root:lp "$SPOOL" "$SPOOL/tmp"
    chmod 0710 "$SPOOL"
    chmod 1770 "$SPOOL/tmp"
    # The backend runs as lp and writes here; tests (root) read.
    chown lp:lp "$OUTPUT"
    chmod 0755 "$OUTPUT"

    # ServerBin: the system's helpers, and a backend folder holding only ours.
    # cupsd refuses helpers that are not root-owned or are writable by others,
    # so everything here is root:root and 0755 and the backend is a copy.
    mkdir -p "$SERVERBIN"
    chmod 0755 "$SERVERBIN"
    for d in "$SYSTEM_SERVERBIN"/*; do
        name=${d##*/}
        case $name in
            backend) continue ;;
        esac
        [[ -d $d ]] || continue
        ln -sfn "$d" "$SERVERBIN/$name"
    done
    rm -rf "$SERVERBIN/backend"
    mkdir "$SERVERBIN/backend"
    install -o root -g root -m 0755 "$BACKEND_SRC" "$SERVERBIN/backend/$QUEUE"
    chown root:root "$ROOT" "$SERVERBIN" "$SERVERBIN/backend"
    chmod 0755 "$SERVERBIN/backend"

    install -o root -g root -m 0644 "$PPD_SRC" "$ROOT/kavelora-pdf.ppd"
}

# Every folder from / down to the output must let lp through.
check_lp_reach() {
    if ! lp_can "$OUTPUT" -w || ! lp_can "$OUTPUT" -x; then
        local p=$OUTPUT blocked=""
        while [[ $p != / ]]; do
            p=$(dirname "$p")
            if ! lp_can "$p" -x; then
                blocked=$p
            fi
        done
        die "user lp cannot write to $OUTPUT${blocked:+ (folder $blocked is not reachable by lp)}"
    fi
}

# --- start / stop ----------------------------------------------------------

show_log_tail() {
    local f
    for f in "$LOGS/cupsd.out" "$LOGS/error_log"; do
        if [[ -s $f ]]; then
            say "--- last lines of $f ---"
            tail -n 25 "$f" >&2 || true
        fi
    done
}

# Starts cupsd once; returns 0 when it answers, 1 when it died (so the caller
# may retry with another port), exits on timeout.
launch() {
    local port=$1 server=$2 pid deadline
    write_config "$port"
    rm -f "$SOCKET" "$PIDFILE"
    : >"$LOGS/cupsd.out"

    # A clean environment: stray CUPS_* or locale settings of the caller must
    # not leak into the scheduler and its filters.
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        cupsd -f -c "$CONF/cupsd.conf" -s "$CONF/cups-files.conf" \
        </dev/null >>"$LOGS/cupsd.out" 2>&1 &
    pid=$!
    echo "$pid" >"$PIDFILE"

    deadline=$((SECONDS + START_TIMEOUT))
    while ((SECONDS < deadline)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null || true
            rm -f "$PIDFILE"
            return 1
        fi
        if server_answers "$server"; then
            # cupsd carries on when one of its Listen lines fails, and
            # "lpstat -r" only proves that something accepts connections,
            # so make sure the TCP port is really held by this cupsd.
            if owns_port "$pid" "$port"; then
                return 0
            fi
            if grep -q "Unable to open listen socket for address 127.0.0.1:$port" \
                "$LOGS/error_log" 2>/dev/null; then
                stop_pid "$pid"
                rm -f "$PIDFILE"
                return 1
            fi
        fi
        sleep 0.1
    done
    say "scheduler did not answer on $server within ${START_TIMEOUT}s"
    show_log_tail
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    rm -f "$PIDFILE"
    exit 1
}

lp_admin() {
    local out
    # lpadmin warns on every call that PPD drivers are deprecated; only show
    # its output when it fails.
    if ! out=$(CUPS_SERVER=$SERVER lpadmin "$@" 2>&1); then
        say "lpadmin $* failed:"
        printf '%s\n' "$out" >&2
        show_log_tail
        exit 1
    fi
}

add_queue() {
    lp_admin -p "$QUEUE" -E \
        -v "$QUEUE:$OUTPUT" \
        -P "$ROOT/kavelora-pdf.ppd" \
        -D "Kavelora PDF capture" \
        -L "$OUTPUT" \
        -o printer-error-policy=abort-job \
        -o printer-is-shared=false
    lp_admin -d "$QUEUE"

    local def
    def=$(CUPS_SERVER=$SERVER lpstat -d 2>&1) || true
    [[ $def == *": $QUEUE" ]] || die "default destination is not $QUEUE: $def"
    CUPS_SERVER=$SERVER lpstat -a "$QUEUE" 2>/dev/null | grep -q "^$QUEUE accepting" ||
        die "queue $QUEUE does not accept jobs"
}

write_env() {
    local tmp=$ENVFILE.tmp
    {
        echo "export CUPS_SERVER=$SERVER"
        echo "export KAVELORA_PRINT_OUTPUT=$OUTPUT"
        echo "export KAVELORA_CUPS_TCP=127.0.0.1:$PORT"
    } >"$tmp"
    chmod 0644 "$tmp"
    mv -f "$tmp" "$ENVFILE"
}

# Listens on the socket when its path fits in sun_path (108 bytes with the
# terminating NUL), else on TCP alone.
pick_socket() {
    if ((${#SOCKET} <= 107)); then
        SOCKET_LISTEN=1
    else
        SOCKET_LISTEN=
        say "note: $SOCKET is too long for a Unix socket; using TCP only"
    fi
}

# A start that fails leaves no scheduler and no state folder behind.
abandon_start() {
    local pid
    if pid=$(running_pid); then
        stop_pid "$pid"
    fi
    remove_state_folder
}

cmd_start() {
    [[ $(id -u) -eq 0 ]] || die "must run as root (the scheduler runs its backend as user lp)"
    check_tools
    local dir
    dir=$(resolve_dir "${1:-}") || exit 1
    set_paths "$dir"
    mkdir -p "$DIR"

    local pid
    if pid=$(running_pid) && [[ -f $PORTFILE ]]; then
        pick_socket
        PORT=$(<"$PORTFILE")
        if [[ -n $SOCKET_LISTEN ]]; then SERVER=$SOCKET; else SERVER=127.0.0.1:$PORT; fi
        if server_answers "$SERVER"; then
            say "already running (pid $pid)"
            add_queue
            write_env
            echo "CUPS_SERVER=$SERVER"
            return 0
        fi
        say "pid $pid does not answer; restarting it"
        stop_pid "$pid"
    fi

    # Whatever an earlier run left behind goes; each start has a fresh folder.
    remove_state_folder
    trap abandon_start EXIT
    make_state_folder
    pick_socket
    setup_tree
    check_lp_reach

    local attempt
    for attempt in 1 2 3 4 5; do
        PORT=$(free_port) || die "no free TCP port found on 127.0.0.1"
        if [[ -n $SOCKET_LISTEN ]]; then SERVER=$SOCKET; else SERVER=127.0.0.1:$PORT; fi
        if launch "$PORT" "$SERVER"; then
            echo "$PORT" >"$PORTFILE"
            add_queue
            write_env
            trap - EXIT
            say "running (pid $(<"$PIDFILE")), jobs go to $OUTPUT"
            echo "CUPS_SERVER=$SERVER"
            return 0
        fi
        # The port may have been taken between our look and cupsd's bind.
        if grep -q "Unable to open listen socket for address 127.0.0.1:$PORT" \
            "$LOGS/error_log" 2>/dev/null && ((attempt < 5)); then
            say "port $PORT was taken; trying another"
            : >"$LOGS/error_log"
            continue
        fi
        say "scheduler exited during start-up"
        show_log_tail
        exit 1
    done
    die "could not start the scheduler"
}

stop_pid() {
    local pid=$1 deadline
    kill -TERM "$pid" 2>/dev/null || true
    deadline=$((SECONDS + STOP_TIMEOUT))
    while ((SECONDS < deadline)) && kill -0 "$pid" 2>/dev/null &&
        [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]]; do
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]]; then
        say "pid $pid ignored SIGTERM for ${STOP_TIMEOUT}s; killing it"
        kill -KILL "$pid" 2>/dev/null || true
        deadline=$((SECONDS + 5))
        while ((SECONDS < deadline)) && [[ -d /proc/$pid ]] &&
            [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) != Z ]]; do
            sleep 0.1
        done
    fi
    # Reap it when it is our own child (start and stop in one shell).
    wait "$pid" 2>/dev/null || true
}

cmd_stop() {
    local dir
    dir=$(resolve_dir "${1:-}") || exit 1
    set_paths "$dir"
    local pid
    if pid=$(running_pid); then
        stop_pid "$pid"
        if running_pid >/dev/null; then
            die "scheduler pid $pid is still running"
        fi
        say "stopped (pid $pid)"
    else
        say "not running"
    fi
    remove_state_folder
}

cmd_status() {
    local dir
    dir=$(resolve_dir "${1:-}") || exit 1
    set_paths "$dir"
    local pid server
    pid=$(running_pid) || { say "not running"; return 1; }
    [[ -f $ENVFILE ]] || { say "pid $pid has no env file"; return 1; }
    server=$(sed -n 's/^export CUPS_SERVER=//p' "$ENVFILE")
    server_answers "$server" || { say "pid $pid does not answer on $server"; return 1; }
    say "running (pid $pid) on $server"
}

case ${1:-} in
    start) cmd_start "${2:-}" ;;
    stop) cmd_stop "${2:-}" ;;
    status) cmd_status "${2:-}" ;;
    *) usage ;;
esac
