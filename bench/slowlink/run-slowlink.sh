#!/usr/bin/env bash
# Publishing over a web-host-like link: brings up a slow-link (25 ms each way, 20 Mbit/s), runs
# pyftpdlib in its server namespace and bench_slowlink in its client namespace, and takes the
# link down again whatever happens. Needs root. Takes about half an hour.
#
#   bench/slowlink/run-slowlink.sh [BUILD_DIR] [-- bench_slowlink options]
#   options: --pairs 4,8 (which connection counts to run beside their lftp), --only full|data
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build="$repo/build"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    build=$(cd "$1" && pwd)
    shift
fi
[ "${1:-}" = "--" ] && shift

slow_link=${SLOW_LINK:-$repo/../shared/tools/slow-link/slow-link}
if [ ! -x "$slow_link" ]; then
    echo "run-slowlink: no slow-link at $slow_link (set SLOW_LINK)" >&2
    exit 1
fi
if [ "$(id -u)" != 0 ]; then
    echo "run-slowlink: slow-link needs root" >&2
    exit 1
fi
command -v lftp >/dev/null || { echo "run-slowlink: lftp is not installed" >&2; exit 1; }

cmake --build "$build" -j2 --target bench_slowlink >/dev/null

name=kbench$$
work=$(mktemp -d /tmp/kiosk-slowlink.XXXXXX)
"$slow_link" up "$name" >/dev/null
cleanup() {
    "$slow_link" down "$name" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

server=$("$slow_link" addr "$name" server)
mkdir -p "$work/ftproot"
"$slow_link" exec "$name" server /usr/bin/python3 -m pyftpdlib -i "$server" -p 2121 -w \
    -d "$work/ftproot" -u bench -P bench >"$work/ftpd.log" 2>&1 &

"$slow_link" exec "$name" client "$build/bench/slowlink/bench_slowlink" \
    --server "$server:2121" --root "$work/ftproot" --work "$work" "$@"
