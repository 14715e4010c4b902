# 64-bit ARM Linux from an x86-64 Debian machine: Debian's cross compiler, the arm64 packages of
# the libraries installed beside the native ones (multiarch), and qemu-user to run what is built.
# scripts/cross-test installs all of it and uses this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Programs built here (tests, the signing tool at build time, test discovery) run through the
# emulator. libc6:arm64 puts the arm64 loader where the programs look for it, and that loader
# searches the multiarch folders, so no -L prefix is needed.
find_program(FERROLUX_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FERROLUX_QEMU_AARCH64})

# The libraries come from the arm64 multiarch folders; tools (openssl, gzip, Qt's moc) are the
# build machine's own.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake)
