#!/usr/bin/env bash
# Multi-mirror downloads under Wine: zmdownload (the download manager over the
# real WinHTTP) fetches files from test servers (tools/testserver, a Linux
# program) and from nginx on 127.0.0.1, some of which misbehave, and the
# files must come out byte for byte as the source or end with the result
# code their fault calls for.
#
# usage: mirror_download_test.sh TESTSERVER ZMDOWNLOAD_EXE WINE_RUN SCENARIO
# SCENARIO: rates, refused, ignore-range, cut, dies, size-mismatch, nginx.
#
# Every server listens on a port of its own choosing (port 0, --port-file),
# so scenarios may run side by side; every process started here is stopped
# on the way out, whatever happens.
set -uo pipefail

testserver="$1"
zmdownload="$2"
wine_run="$3"
scenario="$4"

work="$(mktemp -d "${TMPDIR:-/tmp}/zm-mirrors.XXXXXX")"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAILED ($scenario): $*"
    [ -f "$work/result.txt" ] && { echo "--- zmdownload said:"; cat "$work/result.txt"; }
    [ -f "$work/zm.log" ] && { echo "--- its trace log (end):"; tail -n 80 "$work/zm.log"; }
    exit 1
}

# The Wine path of a Linux path.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# random_file PATH BYTES
random_file() {
    mkdir -p "$(dirname "$1")"
    head -c "$2" /dev/urandom >"$1"
}

# start_server NAME ARGS...: starts a test server on the release folder and
# sets $port; its log is $work/NAME.log, its pid the last of $pids.
start_server() {
    local name="$1"
    shift
    rm -f "$work/$name.port"
    "$testserver" --root "$work/root" --port-file "$work/$name.port" --idle-timeout 600 "$@" \
        >"$work/$name.log" 2>&1 &
    pids+=($!)
    local pid=$! waited=0
    while [ ! -s "$work/$name.port" ]; do
        kill -0 "$pid" 2>/dev/null || fail "test server $name did not start: $(cat "$work/$name.log")"
        [ "$waited" -lt 200 ] || fail "test server $name did not say its port"
        sleep 0.05
        waited=$((waited + 1))
    done
    port=$(cat "$work/$name.port")
}

# start_nginx: nginx, run as this user, serving the release folder on two
# free ports of 127.0.0.1 (two mirrors in one process) with a bandwidth
# limit per answer; sets $port and $port2.
start_nginx() {
    local dir="$work/nginx" pid
    mkdir -p "$dir/tmp"
    for _ in $(seq 20); do
        port=$((20000 + RANDOM % 40000))
        port2=$((port + 1))
        cat >"$dir/nginx.conf" <<EOF
daemon off;
master_process off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
    access_log $dir/access.log;
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    limit_rate 1m;
    server { listen 127.0.0.1:$port; root $work/root; }
    server { listen 127.0.0.1:$port2; root $work/root; }
}
EOF
        nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" >/dev/null 2>&1 &
        pid=$!
        pids+=($pid)
        for _ in $(seq 100); do
            if ! kill -0 "$pid" 2>/dev/null; then break; fi
            if (exec 3<>"/dev/tcp/127.0.0.1/$port2") 2>/dev/null; then return 0; fi
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    fail "nginx did not start: $(tail -n 5 "$dir/error.log" 2>/dev/null)"
}

# download_start SERVERS ARGS...: starts zmdownload into $work/out, with its
# report going to $work/result.txt and its trace log to $work/zm.log; sets
# $download_pid (the Wine process itself: wine-run replaces itself with it).
download_start() {
    local servers="$1"
    shift
    "$wine_run" "$zmdownload" --servers "$servers" --out "$(winpath "$work/out")" \
        --log "$(winpath "$work/zm.log")" --idle-timeout 20000 "$@" >"$work/result.txt" 2>&1 &
    download_pid=$!
    pids+=($download_pid)
}

# download SERVERS ARGS...: runs zmdownload to its end; returns its exit code.
download() {
    download_start "$@"
    wait "$download_pid"
}

# field LINE_PREFIX KEY: the value of KEY in the first report line that
# begins with LINE_PREFIX.
field() {
    tr -d '\r' <"$work/result.txt" | grep -m1 "^$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

expect_file() {  # expect_file ID PATH RESULT: the report of file ID
    local result
    result=$(field "file id=$1 " result)
    [ "$result" = "$3" ] || fail "file $1 ($2) ended with result '$result', not $3"
}

expect_identical() {  # expect_identical PATH
    cmp -s "$work/root$1" "$work/out$1" || fail "$1 differs from the source"
}

expect_server_bytes() {  # expect_server_bytes ID some|none
    local bytes
    bytes=$(field "server id=$1 " bytes)
    case "$2" in
        some) [ -n "$bytes" ] && [ "$bytes" -gt 0 ] || fail "server $1 gave no bytes ($bytes)" ;;
        none) [ "$bytes" = 0 ] || fail "server $1 gave $bytes bytes" ;;
    esac
}

expect_log() {  # expect_log TEXT: a line of the trace log holds TEXT
    grep -qF -- "$1" "$work/zm.log" || fail "the trace log has no line with: $1"
}

mkdir -p "$work/root" "$work/out"
big=/data/big.bin
random_file "$work/root$big" $((4 * 1024 * 1024 + 12345))

case "$scenario" in
rates)
    # Three mirrors at different rates share one file; a short one and an
    # empty one follow in the same run.
    random_file "$work/root/data/sub/short.bin" 50
    : >"$work/root/data/empty.bin"
    start_server fast --rate $((2 * 1024 * 1024)); p0=$port
    start_server medium --rate $((1024 * 1024)); p1=$port
    start_server slow --rate $((512 * 1024)); p2=$port
    download "127.0.0.1:$p0;127.0.0.1:$p1/;http://127.0.0.1:$p2" "$big" /data/sub/short.bin /data/empty.bin ||
        fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_file 1 /data/sub/short.bin 0
    expect_file 2 /data/empty.bin 0
    expect_identical "$big"
    expect_identical /data/sub/short.bin
    expect_identical /data/empty.bin
    for id in 0 1 2; do expect_server_bytes $id some; done
    [ "$(field "file id=0 " size)" = $((4 * 1024 * 1024 + 12345)) ] || fail "file 0's size is not reported"
    expect_log "network support http-range!"
    ;;
refused)
    # The third mirror's address takes no connections: its server is gone.
    start_server a --rate $((1024 * 1024)); p0=$port
    start_server b --rate $((512 * 1024)); p1=$port
    start_server gone --host 127.0.0.11; p2=$port
    kill -9 "${pids[-1]}"
    wait "${pids[-1]}" 2>/dev/null
    download "127.0.0.1:$p0;127.0.0.1:$p1;127.0.0.11:$p2" "$big" || fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_identical "$big"
    expect_server_bytes 2 none
    expect_log "[conn2] onerr close task! （reason:12029, CANNOT_CONNECT)"
    ;;
ignore-range)
    # The faster mirror answers every request with the whole file.
    start_server plain --rate $((1024 * 1024)) --record "$work/plain.rec"; p0=$port
    start_server rangeless --rate $((2 * 1024 * 1024)) --fault "$big:ignore-range" --record "$work/rangeless.rec"
    p1=$port
    download "127.0.0.1:$p0;127.0.0.1:$p1" "$big" || fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_identical "$big"
    # It was asked for ranges and answered them with the whole file.
    awk -F'\t' '$4 != "-" && $5 == 200 { found = 1 } END { exit !found }' "$work/rangeless.rec" ||
        fail "the mirror without ranges was never asked for a range"
    ;;
cut)
    # The faster mirror breaks off every answer after 60000 bytes.
    start_server plain --rate $((1024 * 1024)); p0=$port
    start_server cutting --rate $((2 * 1024 * 1024)) --fault "$big:cut=60000" --record "$work/cutting.rec"
    p1=$port
    download "127.0.0.1:$p0;127.0.0.1:$p1" "$big" || fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_identical "$big"
    expect_server_bytes 1 some
    ;;
dies)
    # The third mirror's process is killed a second after it took its first
    # request, in the middle of the file (about 5 s at the three rates),
    # whether it leads the file or serves pieces of it.
    random_file "$work/root$big" $((16 * 1024 * 1024))
    start_server a --rate $((1024 * 1024)); p0=$port
    start_server b --rate $((1024 * 1024)); p1=$port
    start_server dying --rate $((1024 * 1024)) --record "$work/dying.rec"; p2=$port
    dying_pid=${pids[-1]}
    download_start "127.0.0.1:$p0;127.0.0.1:$p1;127.0.0.1:$p2" "$big"
    for _ in $(seq 1200); do
        [ -s "$work/dying.rec" ] && break
        kill -0 "$download_pid" 2>/dev/null || break
        sleep 0.05
    done
    sleep 1
    kill -0 "$download_pid" 2>/dev/null || fail "the download ended before the mirror died"
    kill -9 "$dying_pid"
    wait "$download_pid" || fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_identical "$big"
    ;;
size-mismatch)
    # The main mirror dies after the first bytes; the other one, asked for
    # the whole file again, answers a size 5000 bytes larger.
    size=$(stat -c %s "$work/root$big")
    start_server main --rate $((256 * 1024)); p0=$port
    main_pid=${pids[-1]}
    start_server other --delay 1000 --fault "$big:size=$((size + 5000))"; p1=$port
    download_start "127.0.0.1:$p0;127.0.0.1:$p1" --no-range "$big"
    for _ in $(seq 1200); do
        [ -s "$work/out$big" ] && break
        kill -0 "$download_pid" 2>/dev/null || break
        sleep 0.05
    done
    [ -s "$work/out$big" ] || fail "no byte of the file arrived"
    kill -9 "$main_pid"
    wait "$download_pid"
    status=$?
    [ "$status" = 1 ] || fail "zmdownload exited with $status, not 1"
    expect_file 0 "$big" 3
    [ "$(field "run " succeeded)" = 0 ] || fail "the run is reported as a success"
    expect_log "filesize err, lastSize:$size, newSize:$((size + 5000)), file:$big"
    ;;
nginx)
    # nginx, the server most mirrors run, as two mirrors: one leads the
    # file, the other answers the probe and the pieces.
    start_nginx
    download "127.0.0.1:$port;127.0.0.1:$port2" "$big" || fail "zmdownload exited with $?"
    expect_file 0 "$big" 0
    expect_identical "$big"
    expect_server_bytes 0 some
    expect_server_bytes 1 some
    grep -q '"GET /data/big.bin HTTP/1.1" 206 ' "$work/nginx/access.log" || fail "nginx answered no range"
    expect_log "network support http-range!"
    ;;
*)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac
echo "passed ($scenario)"
