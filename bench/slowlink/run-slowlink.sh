#!/usr/bin/env bash
# Publishing over a web-host-like link: brings up a slow-link (25 ms each way, 20 Mbit/s), runs
# pyftpdlib in its server namespace and bench_slowlink in its client namespace, and takes the
# link down again whatever happens. Needs root. Takes about half an hour.
#
#   bench/slowlink/run-slowlink.sh [BUILD_DIR] [-- bench_slowlink options]
#   options: --pairs 4,8 (which connection counts to run beside their lftp),
#            --only full|data|changed|secure (secure: ftpes:// and sftp:// beside plain FTP)
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
user=kbench$$
cleanup() {
    "$slow_link" down "$name" >/dev/null 2>&1 || true
    userdel "$user" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

server=$("$slow_link" addr "$name" server)
mkdir -p "$work/ftproot"
"$slow_link" exec "$name" server /usr/bin/python3 -m pyftpdlib -i "$server" -p 2121 -w \
    -d "$work/ftproot" -u bench -P bench >"$work/ftpd.log" 2>&1 &

# The same server's disk over TLS (a certificate made here) and over SSH (a throwaway user).
secure=()
if [[ " $* " == *" secure "* ]]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$server" -keyout "$work/tls.pem" \
        -out "$work/tls.pem" 2>/dev/null
    fingerprint=SHA256:$(openssl x509 -in "$work/tls.pem" -noout -fingerprint -sha256 | cut -d= -f2 | tr -d :)
    "$slow_link" exec "$name" server /usr/bin/python3 "$here/tls-ftpd.py" "$server" 2122 "$work/ftproot" \
        bench bench "$work/tls.pem" >"$work/tls-ftpd.log" 2>&1 &
    secure+=(--tls-server "$server:2122" --tls-fingerprint "$fingerprint")
    mkdir -p "$work/sshhome" /run/sshd
    useradd -M -d "$work/sshhome" -s /usr/sbin/nologin "$user"
    echo "$user:bench" | chpasswd
    chown "$user" "$work/sshhome"
    ssh-keygen -q -t ed25519 -N '' -f "$work/hostkey"
    printf '%s\n' "ListenAddress $server" "HostKey $work/hostkey" "PidFile none" "UsePAM no" \
        "PasswordAuthentication yes" "KbdInteractiveAuthentication no" "PubkeyAuthentication no" \
        "PermitRootLogin no" "StrictModes no" "MaxStartups 20" "Subsystem sftp internal-sftp" \
        "ForceCommand internal-sftp" "AllowUsers $user" >"$work/sshd_config"
    "$slow_link" exec "$name" server /usr/sbin/sshd -f "$work/sshd_config" -D -e -p 2222 >"$work/sshd.log" 2>&1 &
    secure+=(--sftp-server "$server:2222" --sftp-root "$work/sshhome" --sftp-login "$user:bench"
        --sftp-fingerprint "$(ssh-keygen -lf "$work/hostkey.pub" -E sha256 | cut -d' ' -f2)")
    chmod 755 "$work"
    for port in 2122 2222; do
        for _ in $(seq 50); do
            "$slow_link" exec "$name" client bash -c "echo >/dev/tcp/$server/$port" 2>/dev/null && break
            sleep 0.2
        done
    done
fi

"$slow_link" exec "$name" client "$build/bench/slowlink/bench_slowlink" \
    --server "$server:2121" --root "$work/ftproot" --work "$work" "${secure[@]}" "$@"
