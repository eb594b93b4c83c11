#!/usr/bin/env bash
# isapihost against nginx on this machine, in the same run: wrk with 64 connections on
# a static 1 KiB file (both servers) and on the test extension (isapihost), then the
# request rates side by side. Loopback only; every server is stopped at the end.
# usage: bench/isapihost-vs-nginx.sh BUILD_FOLDER [SECONDS]
set -euo pipefail
build="$1"
seconds="${2:-20}"
work="$(mktemp -d /tmp/brevant-bench.XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www"
head -c 1024 /dev/urandom | base64 -w 0 | head -c 1024 >"$work/www/1k.txt"

"$build/out/bin/isapihost" --port 0 --root "$work/www" --threads 32 \
    --vdir "/Scripts=$build/tests/modules,execute" >"$work/isapihost.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'listening on' "$work/isapihost.log" && break; sleep 0.1; done
isapihost_port="$(sed -n 's/.*127.0.0.1://p' "$work/isapihost.log" | head -1)"

nginx_port=$((isapihost_port + 1))
cat >"$work/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
daemon off;
events { worker_connections 1024; }
http {
    access_log off;
    server { listen 127.0.0.1:$nginx_port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
pids+=($!)
sleep 0.5

rate() {  # url
    wrk -t 2 -c 64 -d "${seconds}s" "$1" | tee -a "$work/wrk.txt" |
        awk '/Requests\/sec/ {print $2} /Socket errors/ {print "errors: " $0 > "/dev/stderr"}'
}

echo "wrk -t 2 -c 64 -d ${seconds}s, both servers on this machine"
static="$(rate "http://127.0.0.1:$isapihost_port/1k.txt")"
extension="$(rate "http://127.0.0.1:$isapihost_port/Scripts/TestExtension.dll?keep")"
nginx="$(rate "http://127.0.0.1:$nginx_port/1k.txt")"
curl -fsS -o /dev/null "http://127.0.0.1:$isapihost_port/1k.txt" && echo "isapihost still answers"
printf '%-40s %12s req/s\n' "isapihost, static 1 KiB file" "$static" \
    "isapihost, test extension (keep-alive)" "$extension" "nginx, static 1 KiB file" "$nginx"
awk -v a="$static" -v b="$nginx" 'BEGIN { printf "isapihost / nginx (static): %.2f\n", a / b }'
