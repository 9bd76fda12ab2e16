# Shared by scripts/run and scripts/test: what the project needs, and how to get it.
# shellcheck shell=bash

KIOSK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
KIOSK_BUILD="${KIOSK_BUILD:-$KIOSK_ROOT/build}"

# Building and running the program.
KIOSK_RUN_PACKAGES=(cmake g++ make qt6-base-dev libgl-dev libcurl4-openssl-dev qt6-multimedia-dev
    python3-pyftpdlib php-cli qtkeychain-qt6-dev libssl-dev)
# Tests: real FTP servers, PHP, a browser, a virtual display, image and sound tools, a keyring.
KIOSK_TEST_PACKAGES=(clang-format python3-pyftpdlib vsftpd php-cli chromium xvfb xauth imagemagick sox lftp
    gnome-keyring dbus openssh-server openssl python3-openssl tcpdump)

say() { printf '%s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" = 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        say "kioskSmith: '$*' needs root and sudo is not installed; run it as root."
        return 1
    fi
}

# Installs those of the given Debian packages that are not installed yet.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null | grep -qx installed; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "kioskSmith: installing ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Node.js and npm drive the browser tests; a machine may already have them from elsewhere.
ensure_node() {
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        ensure_packages nodejs npm
    fi
}

configure_and_build() {
    cmake -S "$KIOSK_ROOT" -B "$KIOSK_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$KIOSK_BUILD" --parallel "$(nproc)"
}
