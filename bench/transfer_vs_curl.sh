#!/usr/bin/env bash
# Clipmoor's transfer layer beside the curl command-line tool, in one run, against the same
# nginx over HTTPS on loopback. Prints medians of wall-clock throughput and CPU seconds, peak
# memory for a 100 MiB and a 1 GiB file, five concurrent downloads against
# `curl --parallel --parallel-max 5`, how long a pause takes to complete against a flowing and a
# stalled server, and, as its last line, "throughput ratio clipmoor/curl: X.XX".
#   RUNS=7 bench/transfer_vs_curl.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-7}
scripts/install-deps.sh bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCLIPMOOR_BUILD_TESTS=OFF \
      -DCLIPMOOR_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target clipmoor_fetch >/dev/null
fetch=$PWD/build-bench/bench/clipmoor_fetch

work=$(mktemp -d)
nginx_pid=""
stall_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ -n "$stall_pid" ] && kill "$stall_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/root" "$work/out" "$work/logs" "$work/home"
chmod 755 "$work" "$work/root"  # nginx workers may run as an unprivileged user

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# A throw-away authority and a certificate for the benchmark's host name.
host=bench.clipmoor.test
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Clipmoor bench CA" \
  -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=$host" -keyout "$work/server.key" \
  -out "$work/server.csr" 2>/dev/null
printf 'subjectAltName=DNS:%s\n' "$host" >"$work/san.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 2 -extfile "$work/san.ext" -out "$work/server.pem" 2>/dev/null

head -c $((100 * 1024 * 1024)) /dev/urandom >"$work/root/100M.bin"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$work/root/1G.bin"
chmod 644 "$work/root/"*.bin

port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/logs/error.log;
daemon off;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  ssl_certificate $work/server.pem;
  ssl_certificate_key $work/server.key;
  client_body_temp_path $work/logs;
  proxy_temp_path $work/logs;
  fastcgi_temp_path $work/logs;
  uwsgi_temp_path $work/logs;
  scgi_temp_path $work/logs;
  server {
    listen 127.0.0.1:$port ssl;
    server_name $host;
    root $work/root;
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!

stall_port=$(free_port)
python3 - "$stall_port" <<'PY' &
import socket, sys, time
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(8)
while True:
    connection, _ = server.accept()
    connection.recv(65536)
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 10000000\r\nETag: \"stall\"\r\n\r\n" + b"x" * 1000)
    time.sleep(30)   # then nothing: the server has stalled
    connection.close()
PY
stall_pid=$!
sleep 1

export HOME=$work/home XDG_CACHE_HOME=$work/home/.cache
export CLIPMOOR_CONNECT_TO="$host:443:127.0.0.1:$port"
export CLIPMOOR_CA_BUNDLE=$work/ca.pem
url() { echo "https://$host/$1"; }
# curl trusts what Clipmoor trusts: the system's authorities plus the throw-away one.
cat /etc/ssl/certs/ca-certificates.crt "$work/ca.pem" >"$work/trusted.pem"
printf '#!/bin/sh\nexec curl -sS --no-progress-meter --fail --cacert "%s" --connect-to "%s" "$@"\n' \
  "$work/trusted.pem" "$host:443:127.0.0.1:$port" >"$work/curl_get"
chmod +x "$work/curl_get"
curl_get=$work/curl_get

# One measured run: prints "wall user sys maxrss_kib". Dirty pages of the previous run are
# flushed first, so no run pays for another's writes.
measure() { sync; /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null && cat "$work/time"; }
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

file_mib=1024
: >"$work/curl.txt"
: >"$work/clipmoor.txt"
for _ in $(seq "$runs"); do
  measure "$curl_get" -o "$work/out/curl.bin" "$(url 1G.bin)" >>"$work/curl.txt"
  rm -f "$work/out/"*
  measure "$fetch" --out "$work/out" "$(url 1G.bin)" >>"$work/clipmoor.txt"
  rm -f "$work/out/"*
done
throughput() { awk -v size="$file_mib" '{ print size / $1 }' "$1" | median; }
cpu() { awk '{ print $2 + $3 }' "$1" | median; }
curl_mibs=$(throughput "$work/curl.txt")
clipmoor_mibs=$(throughput "$work/clipmoor.txt")
curl_cpu=$(cpu "$work/curl.txt")
clipmoor_cpu=$(cpu "$work/clipmoor.txt")

peak_100=$(measure "$fetch" --out "$work/out" "$(url 100M.bin)" | awk '{ print $4 }'); rm -f "$work/out/"*
peak_1g=$(awk '{ print $4 }' "$work/clipmoor.txt" | sort -g | tail -1)

five_urls=()
curl_five=()
for i in 1 2 3 4 5; do
  five_urls+=("$(url 100M.bin)?copy=$i")
  curl_five+=(-o "$work/out/curl-$i.bin" "$(url 100M.bin)?copy=$i")
done
: >"$work/curl5.txt"
: >"$work/clipmoor5.txt"
for _ in $(seq "$runs"); do
  measure "$curl_get" --parallel --parallel-max 5 "${curl_five[@]}" >>"$work/curl5.txt"; rm -f "$work/out/"*
  measure "$fetch" --out "$work/out" "${five_urls[@]}" >>"$work/clipmoor5.txt"; rm -f "$work/out/"*
done
file_mib=500
curl5_mibs=$(throughput "$work/curl5.txt")
clipmoor5_mibs=$(throughput "$work/clipmoor5.txt")

flowing_ms=$(for _ in $(seq "$runs"); do "$fetch" --cancel-after 20000000 "$(url 1G.bin)" | awk '{ print $2 }'; done | median)
stalled_ms=$(for _ in $(seq "$runs"); do "$fetch" --cancel-after 0 "http://127.0.0.1:$stall_port/stall.bin" | awk '{ print $2 }'; done | median)

printf 'runs: %s, file: 1 GiB over HTTPS on loopback\n' "$runs"
printf 'median throughput: curl %.1f MiB/s, clipmoor %.1f MiB/s\n' "$curl_mibs" "$clipmoor_mibs"
printf 'median CPU seconds: curl %.2f, clipmoor %.2f (ratio %.2f)\n' "$curl_cpu" "$clipmoor_cpu" \
  "$(echo "$clipmoor_cpu / $curl_cpu" | bc -l)"
printf 'clipmoor peak memory: 100 MiB file %d KiB, 1 GiB file %d KiB (difference %d KiB)\n' \
  "$peak_100" "$peak_1g" $((peak_1g - peak_100))
printf 'five concurrent 100 MiB downloads: curl --parallel %.1f MiB/s, clipmoor %.1f MiB/s (ratio %.2f)\n' \
  "$curl5_mibs" "$clipmoor5_mibs" "$(echo "$clipmoor5_mibs / $curl5_mibs" | bc -l)"
printf 'pause to cancelled completion: flowing %.1f ms, stalled %.1f ms\n' "$flowing_ms" "$stalled_ms"
printf 'throughput ratio clipmoor/curl: %.2f\n' "$(echo "$clipmoor_mibs / $curl_mibs" | bc -l)"
