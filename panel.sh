#!/usr/bin/env bash
# Set-up, build and run in one place, so a fresh Debian 12 machine needs nothing but apt.
#   ./panel.sh demo           install what is missing, build, run the panel on the bundled demo
#   ./panel.sh test           install what is missing, build, run the test suite in a private network
#   ./panel.sh build          install what is missing and build only
#   ./panel.sh sanitize-test  the suite built with address and undefined-behaviour sanitizers,
#                             in build-sanitize/
#   ./panel.sh package        build, then the Debian package build/qalix-plus-control_<version>_amd64.deb
# QALIX_QT=6 builds against Qt 6 instead of Qt 5, in build-qt6/ (build-qt6-sanitize/).
# One line per step on the terminal; apt's and the compiler's output go to
# setup.log in the build folder, and its tail is shown only when a step fails.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
jobs=$(nproc)

qt="${QALIX_QT:-5}"
case "$qt" in
    5) qt_packages=(qtbase5-dev qtbase5-dev-tools); suffix="" ;;
    6) qt_packages=(qt6-base-dev qt6-base-dev-tools); suffix="-qt6" ;;
    *) echo "QALIX_QT must be 5 or 6" >&2; exit 2 ;;
esac
build="${QALIX_BUILD_DIR:-$here/build$suffix}"

packages=(g++ cmake make "${qt_packages[@]}" xvfb xauth x11-apps
          imagemagick iproute2 util-linux fonts-dejavu-core
          pkg-config libmosquitto-dev mosquitto mosquitto-clients)

# Paths below the checkout are shown relative to it.
shown() { echo "${1#"$here"/}"; }

fail() {
    echo "$1 failed; the last 40 lines of $(shown "$2"):" >&2
    tail -n 40 "$2" >&2
    exit 1
}

install_missing() {
    local log=$1 missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        echo "Packages: all installed"
        return 0
    fi
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Missing ${missing[*]}; install them as root (no sudo here)" >&2; exit 1; }
        sudo=(sudo)
        sudo -v # asks for the password here, not inside the log
    fi
    echo "Installing ${missing[*]} with apt (log: $(shown "$log"))"
    # Another apt run (unattended upgrades, a second build) holds the lock for a while: wait for it.
    local wait=(-o DPkg::Lock::Timeout=600)
    { "${sudo[@]}" apt-get "${wait[@]}" update &&
      "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" install -y "${missing[@]}"; } \
        </dev/null >>"$log" 2>&1 || fail "Installing" "$log"
}

# do_build DIR [CMAKE-ARGUMENTS...]
do_build() {
    local dir=$1; shift
    mkdir -p "$dir"
    local log="$dir/setup.log"
    : >"$log"
    install_missing "$log"
    local werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    echo "Configuring $(shown "$dir") (log: $(shown "$log"))"
    # shellcheck disable=SC2086 # QALIX_CMAKE_ARGS holds several arguments
    cmake -S "$here" -B "$dir" -DQALIX_QT_MAJOR="$qt" -DQALIX_WERROR=$werror "$@" ${QALIX_CMAKE_ARGS:-} >>"$log" 2>&1 \
        || fail "Configuring" "$log"
    echo "Building with $jobs jobs"
    cmake --build "$dir" -j"$jobs" >>"$log" 2>&1 || fail "Building" "$log"
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

# Shows ctest's summary and the output of failing tests; every line is in test.log.
run_tests() {
    local dir=$1 log="$1/test.log"
    echo "Testing in a private network namespace (log: $(shown "$log"))"
    set +e
    (cd "$dir" && in_private_network ctest --output-on-failure -j"$jobs") 2>&1 | tee "$log" |
        grep --line-buffered -Ev '^Test project |^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$|^$'
    local status=${PIPESTATUS[0]}
    set -e
    return "$status"
}

case "${1:-}" in
    build)
        do_build "$build" ;;
    test)
        do_build "$build"
        run_tests "$build" ;;
    sanitize-test)
        # Unoptimised (half the compile time) and without the benchmarks, which
        # are not part of the suite: this keeps CI's second build short.
        sanitize_build="${QALIX_SANITIZE_BUILD_DIR:-$here/build$suffix-sanitize}"
        do_build "$sanitize_build" -DQALIX_SANITIZE=ON -DQALIX_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
        run_tests "$sanitize_build" ;;
    package)
        packages+=(dpkg-dev file) # dpkg-shlibdeps computes the package's dependencies
        do_build "$build"
        echo "Packing (log: $(shown "$build/setup.log"))"
        (cd "$build" && cpack) >>"$build/setup.log" 2>&1 || fail "Packing" "$build/setup.log"
        deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/setup.log" | tail -n 1)
        echo "Package: $(shown "$deb")" ;;
    demo)
        do_build "$build"
        exec "$here/demo/run-demo.sh" "$build" ;;
    *)
        echo "usage: $0 demo|test|build|sanitize-test|package" >&2
        exit 2 ;;
esac
