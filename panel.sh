#!/usr/bin/env bash
# Set-up, build and run in one place, so a fresh Debian 12 machine needs nothing but apt.
#   ./panel.sh demo           install what is missing, build, run the panel on the bundled demo
#   ./panel.sh test           install what is missing, build, run the test suite in a private network
#   ./panel.sh build          install what is missing and build only
#   ./panel.sh sanitize-test  the suite built with address and undefined-behaviour sanitizers,
#                             in build-sanitize/
#   ./panel.sh package        build, then the Debian package build/qalix-plus-control_<version>_amd64.deb
#   ./panel.sh format-check   every tracked C++ file as clang-format writes it with .clang-format
#   ./panel.sh qemu-check     with QALIX_ARCH=arm64: the arm64 core tests and the panel on the
#                             demo, run under qemu
#   ./panel.sh windows        Qt for Windows built once into ~/.cache/qalix-plus-control/, then
#                             the cross build in build-windows/: its zip and its installer
#   ./panel.sh wine-check     the Windows build's tests, its panel on the demo and its
#                             installer, under Wine
# QALIX_QT=6 builds against Qt 6 instead of Qt 5, in build-qt6/ (build-qt6-sanitize/).
# QALIX_ARCH=arm64 cross-compiles for arm64 (Qt 5, Debian's multiarch), in build-arm64/.
# One line per step on the terminal; apt's and the compiler's output go to
# setup.log in the build folder, and its tail is shown only when a step fails.
set -euo pipefail
cd "$(dirname "$0")"
here=$(pwd)
jobs=$(nproc)

qt="${QALIX_QT:-5}"
case "$qt" in
    # The translation's lrelease and lupdate are in qttools5-dev-tools and qt6-l10n-tools.
    5) qt_packages=(qtbase5-dev qtbase5-dev-tools qtwayland5 qttools5-dev-tools); suffix="" ;;
    6) qt_packages=(qt6-base-dev qt6-base-dev-tools qt6-wayland qt6-l10n-tools); suffix="-qt6" ;;
    *) echo "QALIX_QT must be 5 or 6" >&2; exit 2 ;;
esac

# The test suite's compositor (cage, with Xwayland), and what it drives it with.
packages=(g++ cmake make "${qt_packages[@]}" xvfb xauth x11-apps x11-utils xdotool
          imagemagick iproute2 util-linux fonts-dejavu-core libxext-dev
          pkg-config libmosquitto-dev mosquitto mosquitto-clients cage xwayland grim)
cmake_arguments=()

arch="${QALIX_ARCH:-$(dpkg --print-architecture)}"
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    [ "$arch" = arm64 ] || { echo "QALIX_ARCH can only be arm64 besides this machine's own" >&2; exit 2; }
    [ "$qt" = 5 ] || { echo "The arm64 build is against Qt 5 (QALIX_QT=5)" >&2; exit 2; }
    # Debian's cross compiler and the arm64 libraries beside the machine's own;
    # qemu runs the arm64 programs the build and the checks run.
    packages=(cmake make qtbase5-dev-tools qttools5-dev-tools crossbuild-essential-arm64 qtbase5-dev:arm64
              libxext-dev:arm64 libmosquitto-dev:arm64 pkg-config qemu-user-static)
    cmake_arguments=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-arm64.cmake" -DQALIX_BENCH=OFF)
    suffix="-arm64"
fi
build="${QALIX_BUILD_DIR:-$here/build$suffix}"

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
    # The arm64 libraries come from the same archive once dpkg knows the architecture.
    if [ "$arch" != "$(dpkg --print-architecture)" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        "${sudo[@]}" dpkg --add-architecture "$arch" >>"$log" 2>&1 || fail "Adding the architecture $arch" "$log"
    fi
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
    cmake -S "$here" -B "$dir" -DQALIX_QT_MAJOR="$qt" -DQALIX_WERROR=$werror "${cmake_arguments[@]}" "$@" \
        ${QALIX_CMAKE_ARGS:-} >>"$log" 2>&1 \
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

# The arm64 build under qemu: the core's tests (ctest runs them through the
# emulator), then the panel on the demo with Qt's offscreen platform.
qemu_check() {
    local dir=$1 log="$1/test.log" skip=()
    # A test that starts another arm64 program needs qemu registered with the
    # kernel (binfmt_misc), as Debian's qemu-user-static does on a normal machine.
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
        echo "tst_package left out: it runs the arm64 qlxd, and qemu is not registered with binfmt_misc here"
        skip=(-E tst_package)
    fi
    echo "The core's tests under qemu, in a private network namespace (log: $(shown "$log"))"
    set +e
    (cd "$dir" && in_private_network ctest --output-on-failure -L core "${skip[@]}") 2>&1 | tee "$log" |
        grep --line-buffered -Ev '^Test project |^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$|^$'
    local status=${PIPESTATUS[0]}
    set -e
    [ "$status" -eq 0 ] || exit "$status"

    local panellog="$dir/qemu-panel.log"
    echo "The panel on the demo under qemu, offscreen (log: $(shown "$panellog"))"
    QT_QPA_PLATFORM=offscreen qemu-aarch64-static "$dir/qalix-plus-control" "$dir/projects/demo.qlxd" \
        >"$panellog" 2>&1 &
    local pid=$! n
    for n in $(seq 120); do
        grep -q '^Create Text' "$panellog" && break
        sleep 0.5
    done
    sleep 2
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if ! grep -q '^0 ("Prototype")$' "$panellog" || ! grep -q '^Create Text' "$panellog"; then
        fail "The arm64 panel" "$panellog"
    fi
    echo "It printed $(wc -l <"$panellog") lines, the first ones:"
    head -n 3 "$panellog"
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
        echo "Package: $(shown "$deb")"
        # A cross-built package holds the same files as the machine's own one, when that is there.
        native="$here/build/$(basename "${deb/_${arch}.deb/_$(dpkg --print-architecture).deb}")"
        if [ "$arch" != "$(dpkg --print-architecture)" ] && [ -f "$native" ]; then
            if diff <(dpkg-deb -c "$native" | awk '{print $6}' | sort) <(dpkg-deb -c "$deb" | awk '{print $6}' | sort) \
                >>"$build/setup.log"; then
                echo "The same files as $(shown "$native")"
            else
                fail "Comparing with $(shown "$native")" "$build/setup.log"
            fi
        fi ;;
    format-check)
        packages=(clang-format git)
        mkdir -p "$build"
        install_missing "$build/setup.log"
        if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror; then
            echo "Formatting differs; 'git ls-files '*.cpp' '*.h' | xargs clang-format -i' writes it" >&2
            exit 1
        fi
        echo "Formatting: every C++ file as clang-format writes it" ;;
    windows|wine-check)
        [ "$qt" = 5 ] && [ -z "${QALIX_ARCH:-}" ] || { echo "The Windows build is against Qt 5, for amd64" >&2; exit 2; }
        build="${QALIX_BUILD_DIR:-$here/build-windows}"
        # shellcheck source=packaging/windows/windows.sh
        source "$here/packaging/windows/windows.sh"
        win_build_and_pack
        [ "$1" = windows ] || win_check ;;
    qemu-check)
        [ "$arch" = arm64 ] || { echo "qemu-check checks the arm64 build: QALIX_ARCH=arm64 $0 qemu-check" >&2; exit 2; }
        do_build "$build"
        qemu_check "$build" ;;
    demo)
        do_build "$build"
        exec "$here/demo/run-demo.sh" "$build" ;;
    *)
        echo "usage: $0 demo|test|build|sanitize-test|format-check|package|qemu-check|windows|wine-check" >&2
        exit 2 ;;
esac
