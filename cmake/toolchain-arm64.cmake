# Cross-compiling for arm64 (Raspberry Pi and other ARM boards) on a Debian
# amd64 machine with multiarch: Debian's cross compiler, the arm64 libraries
# in /usr/lib/aarch64-linux-gnu, the machine's own Qt tools (moc, uic, rcc),
# and qemu to run what the build itself runs (qlxd packing the demo) and the
# tests. ./panel.sh does this with QALIX_ARCH=arm64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# The Debian package's architecture, and where dpkg-shlibdeps finds the
# libraries it computes the dependencies from.
set(QALIX_DEB_ARCHITECTURE arm64)
