# A local web space on loopback that behaves like a cheap shared host: an FTP server for
# publishing and PHP serving the published pages. Used by scripts/run.
# shellcheck shell=bash

KIOSK_WEB_ROOT="${KIOSK_WEB_ROOT:-$KIOSK_BUILD/webspace}"
KIOSK_FTP_PORT="${KIOSK_FTP_PORT:-2121}"
KIOSK_HTTP_PORT="${KIOSK_HTTP_PORT:-8080}"
KIOSK_FTP_USER=owner
KIOSK_FTP_PASSWORD=kiosk
_kiosk_web_pids=()

port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_local_web() {
    mkdir -p "$KIOSK_WEB_ROOT/htdocs"
    if port_in_use "$KIOSK_FTP_PORT" || port_in_use "$KIOSK_HTTP_PORT"; then
        say "kioskSmith: port $KIOSK_FTP_PORT or $KIOSK_HTTP_PORT is already in use; not starting the local web space."
        return 0
    fi
    /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$KIOSK_FTP_PORT" -w -d "$KIOSK_WEB_ROOT" \
        -u "$KIOSK_FTP_USER" -P "$KIOSK_FTP_PASSWORD" >"$KIOSK_BUILD/webspace-ftp.log" 2>&1 &
    _kiosk_web_pids+=($!)
    php -S "127.0.0.1:$KIOSK_HTTP_PORT" -t "$KIOSK_WEB_ROOT/htdocs" >"$KIOSK_BUILD/webspace-http.log" 2>&1 &
    _kiosk_web_pids+=($!)
    local waited=0
    until port_in_use "$KIOSK_FTP_PORT" && port_in_use "$KIOSK_HTTP_PORT"; do
        if [ $waited -ge 100 ]; then
            say "kioskSmith: the local web space did not start; see $KIOSK_BUILD/webspace-*.log"
            stop_local_web
            return 0
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    say "kioskSmith: local web space: FTP 127.0.0.1:$KIOSK_FTP_PORT (user $KIOSK_FTP_USER, password $KIOSK_FTP_PASSWORD),"
    say "            your shop after \"Upload now!\": http://127.0.0.1:$KIOSK_HTTP_PORT/kioskSmith/"
}

stop_local_web() {
    local pid
    for pid in "${_kiosk_web_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${_kiosk_web_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    _kiosk_web_pids=()
}
