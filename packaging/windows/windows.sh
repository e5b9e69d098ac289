# Sourced by panel.sh: the Windows build (./panel.sh windows) and its check
# under Wine (./panel.sh wine-check). Qt and libmosquitto for Windows are
# built once from Debian's own source with mingw-w64 (posix threads) into a
# cache outside the tree that later runs reuse. A stamp holding the configure
# line marks a finished build; a changed line or a half-done build starts
# afresh.

win_cache="${QALIX_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qalix-plus-control}"
win_qt="$win_cache/qt5-win64"
win_mosquitto="$win_cache/mosquitto-win64"

# Qt's configure picks the compiler by prefix; this folder makes that prefix
# mean the posix thread model without touching the machine's alternatives.
win_posix_tools() {
    local dir="$win_cache/mingw-posix" tool
    mkdir -p "$dir"
    for tool in gcc g++ c++ cpp; do
        ln -sf "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$dir/x86_64-w64-mingw32-$tool"
    done
    echo "$dir"
}

# The bookworm source entry apt-get source needs; added as a file of its own.
win_source_entry() {
    local log=$1 sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if apt-cache showsrc qtbase-opensource-src 2>/dev/null | grep -q '^Package:' &&
       apt-cache showsrc mosquitto 2>/dev/null | grep -q '^Package:'; then
        return 0
    fi
    local file=/etc/apt/sources.list.d/qalix-bookworm-src.sources
    echo "Adding Debian's source entry for bookworm main ($file)"
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        "${sudo[@]}" tee "$file" >/dev/null
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update >>"$log" 2>&1 || fail "Updating apt's lists" "$log"
}

# win_fetch_source PACKAGE LOG: Debian's source, patches applied, below the
# cache; its folder in win_source.
win_fetch_source() {
    local package=$1 log=$2 dir="$win_cache/src/$1"
    if ! ls -d "$dir"/*/debian >/dev/null 2>&1; then
        rm -rf "$dir" && mkdir -p "$dir"
        echo "Fetching Debian's source of $package (log: $(shown "$log"))"
        (cd "$dir" && apt-get source "$package") >>"$log" 2>&1 || fail "Fetching $package" "$log"
    fi
    win_source=$(dirname "$(ls -d "$dir"/*/debian | head -n 1)")
}

win_qt_options=(-xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -opensource -confirm-license -release -shared -no-opengl -nomake examples -nomake tests
    -no-dbus -no-feature-sql -no-feature-concurrent -no-feature-printer -no-direct2d
    -no-pkg-config -no-icu -no-openssl -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre
    -qt-harfbuzz -qt-freetype -no-feature-tabletevent)

# win_needs_build WHAT PREFIX PACKAGE LOG WANT: true when PREFIX holds no
# build made with the options WANT; then Debian's source of PACKAGE is ready
# in win_source, and PREFIX is gone and its build folder empty.
win_needs_build() {
    local what=$1 prefix=$2 package=$3 log=$4 want=$5
    if [ -f "$prefix/.qalix-built" ] && [ "$(cat "$prefix/.qalix-built")" = "$want" ]; then
        echo "$what for Windows: $prefix (built before)"
        return 1
    fi
    mkdir -p "$win_cache"
    : >"$log"
    win_source_entry "$log"
    win_fetch_source "$package" "$log"
    rm -rf "$prefix" "$prefix-build"
    mkdir -p "$prefix-build"
}

win_build_qt() {
    local log="$win_cache/qt-build.log" want="${win_qt_options[*]}" tools
    win_needs_build Qt "$win_qt" qtbase-opensource-src "$log" "$want" || return 0
    tools=$(win_posix_tools)
    echo "Building Qt for Windows from $(basename "$win_source") once, about 40 minutes on 2 cores (log: $log)"
    (cd "$win_qt-build" && export PATH="$tools:$PATH" &&
        "$win_source/configure" -prefix "$win_qt" "${win_qt_options[@]}" &&
        make -j"$jobs" && make install) >>"$log" 2>&1 || fail "Building Qt for Windows" "$log"
    echo "$want" >"$win_qt/.qalix-built"
    rm -rf "$win_qt-build"
}

# libmosquitto alone (no broker, no clients), without TLS and threads: the
# bridge drives the library from its own event loop and speaks plain MQTT on
# Windows (TLS would need OpenSSL for Windows as well).
win_mosquitto_options=(-DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF
    -DDOCUMENTATION=OFF -DWITH_TLS=OFF -DWITH_THREADING=OFF -DWITH_CJSON=OFF -DWITH_LIB_CPP=OFF
    -DWITH_SOCKS=OFF -DWITH_SRV=OFF)

win_build_mosquitto() {
    local log="$win_cache/mosquitto-build.log" want="${win_mosquitto_options[*]}"
    win_needs_build libmosquitto "$win_mosquitto" mosquitto "$log" "$want" || return 0
    echo "Building libmosquitto for Windows from $(basename "$win_source") (log: $log)"
    cmake -S "$win_source" -B "$win_mosquitto-build" -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix \
        -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$win_mosquitto" "${win_mosquitto_options[@]}" >>"$log" 2>&1 &&
    cmake --build "$win_mosquitto-build" -j"$jobs" >>"$log" 2>&1 &&
    cmake --install "$win_mosquitto-build" >>"$log" 2>&1 &&
    # Its install leaves out the import library the linker wants.
    cp "$win_mosquitto-build/lib/libmosquitto.dll.a" "$win_mosquitto/lib/" >>"$log" 2>&1 ||
        fail "Building libmosquitto for Windows" "$log"
    echo "$want" >"$win_mosquitto/.qalix-built"
    rm -rf "$win_mosquitto-build"
}

# What the Windows build and its check need from apt: the cross compiler,
# Debian's source tools, Qt's configure (perl), NSIS, zip, Wine, and the
# display and network tools of the check.
win_packages=(cmake make pkg-config perl dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
              mingw-w64-tools nsis zip unzip wine wine64 xvfb xauth x11-utils xdotool imagemagick iproute2
              util-linux fonts-dejavu-core qttools5-dev-tools)
win_version=$(sed -n 's/^project(QalixPlusControl VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
win_name="qalix-plus-control-$win_version-win64"

# Wine makes its prefix at the first start, which takes a while: once, here.
win_wine_prefix() {
    local log=$1
    [ -f "$win_cache/wine/system.reg" ] && return 0
    echo "Preparing Wine's prefix once, in $win_cache/wine (log: $(shown "$log"))"
    "$here/packaging/windows/wine-run.sh" "" wineboot --init >>"$log" 2>&1 || fail "Preparing Wine" "$log"
    WINEPREFIX="$win_cache/wine" wineserver -w
}

# Cross-builds the project into $build, then lays out the program folder and
# packs the zip and the installer beside it.
win_build_and_pack() {
    packages=("${win_packages[@]}")
    mkdir -p "$build"
    install_missing "$build/setup.log"
    win_build_qt
    win_build_mosquitto
    win_wine_prefix "$build/setup.log"
    cmake_arguments=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw64.cmake" -DQALIX_WIN_CACHE="$win_cache"
                     -DQALIX_BENCH=OFF -DCMAKE_BUILD_TYPE=Release)
    do_build "$build"

    local log="$build/setup.log" stage="$build/stage/$win_name"
    echo "Packing $win_name.zip and $win_name-setup.exe (log: $(shown "$log"))"
    rm -rf "$build/stage" "$build/$win_name.zip" "$build/$win_name-setup.exe"
    { cmake --install "$build" --prefix "$stage" &&
      x86_64-w64-mingw32-strip "$stage"/*.exe "$stage"/*.dll &&
      (cd "$build/stage" && zip -qr "../$win_name.zip" "$win_name") &&
      makensis -V2 -DSTAGE="$stage" -DVERSION="$win_version" -DOUTFILE="$build/$win_name-setup.exe" \
          "$here/packaging/windows/installer.nsi"; } >>"$log" 2>&1 || fail "Packing" "$log"
    echo "Zip: $(shown "$build/$win_name.zip")"
    echo "Installer: $(shown "$build/$win_name-setup.exe")"
}

# The installer under Wine, silently in and out again: the program, the demo,
# the Start menu entries and the entry of installed programs land; the
# uninstall takes them away and leaves the projects folder with what the
# operator stored there.
win_check_installer() {
    local log="$build/wine-install.log" target='C:\qalix-install-check'
    local folder="$win_cache/wine/drive_c/qalix-install-check"
    local menu="$win_cache/wine/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Qalix-PLUS-Control"
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\qalix-plus-control'
    local wine_run="$here/packaging/windows/wine-run.sh"
    echo "The installer under Wine, in and out again (log: $(shown "$log"))"
    rm -rf "$folder"
    : >"$log"
    "$wine_run" "" "$build/$win_name-setup.exe" /S "/D=$target" >>"$log" 2>&1 || fail "Installing" "$log"
    local file
    for file in "$folder/qalix-plus-control.exe" "$folder/platforms/qwindows.dll" "$folder/projects/demo.qlxd" \
        "$folder/uninstall.exe" "$menu/Qalix-PLUS-Control.lnk" "$menu/Uninstall Qalix-PLUS-Control.lnk"; do
        [ -f "$file" ] || { echo "$file is missing after the install" >>"$log"; fail "Installing" "$log"; }
    done
    "$wine_run" "" reg query "$key" /v InstallLocation >>"$log" 2>&1 || fail "Installing" "$log"
    echo "stored" >"$folder/projects/Stored.qlxd"
    mkdir -p "$folder/projects/icons/project" && echo "picture" >"$folder/projects/icons/project/a.png"
    # _? keeps the uninstaller in place, so it is done when it returns.
    "$wine_run" "" "$folder/uninstall.exe" /S "_?=$target" >>"$log" 2>&1 || fail "Uninstalling" "$log"
    local left
    left=$(cd "$folder" && find . -type f | sort | tr '\n' ' ')
    echo "Left after the uninstall: $left" >>"$log"
    [ "$left" = "./projects/Stored.qlxd ./projects/demo.qlxd ./uninstall.exe " ] || fail "Uninstalling" "$log"
    [ ! -e "$menu" ] || { echo "the Start menu entries are left" >>"$log"; fail "Uninstalling" "$log"; }
    if "$wine_run" "" reg query "$key" >>"$log" 2>&1; then
        echo "the entry of installed programs is left" >>"$log"
        fail "Uninstalling" "$log"
    fi
    rm -rf "$folder"
    echo "Installed and uninstalled; the stored projects stay"
}

# The check: the cross-built tests under Wine (ctest runs them through the
# toolchain's emulator) and the panel from the zip on the demo, both in a
# private network namespace like the suite, then the installer.
win_check() {
    run_tests "$build" || exit 1
    local folder="$build/wine-check"
    rm -rf "$folder" && mkdir -p "$folder"
    unzip -q "$build/$win_name.zip" -d "$folder"
    echo "The panel from the zip on the demo under Wine and Xvfb (logs in $(shown "$folder"))"
    in_private_network "$here/packaging/windows/wine-demo.sh" "$folder/$win_name" "$build/wine-demo.png" "$folder"
    win_check_installer
}
