#!/usr/bin/env bash
# Set-up, build and run in one place, so a fresh Debian 12 machine needs nothing but apt.
#   ./panel.sh demo   install what is missing, build, run the panel on the bundled demo
#   ./panel.sh test   install what is missing, build, run the test suite in a private network
#   ./panel.sh build  install what is missing and build only
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
build="${QALIX_BUILD_DIR:-$here/build}"

packages=(g++ cmake make qtbase5-dev qtbase5-dev-tools xvfb xauth x11-apps
          imagemagick iproute2 util-linux fonts-dejavu-core)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

do_build() {
    install_missing
    local werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    cmake -S "$here" -B "$build" -DQALIX_WERROR=$werror ${QALIX_CMAKE_ARGS:-} >/dev/null
    cmake --build "$build" -j"$(nproc)"
}

# The suite runs in a network namespace of its own where only loopback is up:
# nothing it sends, broadcasts included, can leave this machine.
in_private_network() {
    if [ "$(id -u)" -eq 0 ]; then
        unshare -n -- bash -c 'ip link set lo up && exec "$@"' _ "$@"
    else
        unshare -rn -- bash -c 'ip link set lo up && exec "$@"' _ "$@"
    fi
}

case "${1:-}" in
    build)
        do_build ;;
    test)
        do_build
        cd "$build"
        in_private_network ctest --output-on-failure -j"$(nproc)" ;;
    demo)
        do_build
        exec "$here/demo/run-demo.sh" "$build" ;;
    *)
        echo "usage: $0 demo|test|build" >&2
        exit 2 ;;
esac
