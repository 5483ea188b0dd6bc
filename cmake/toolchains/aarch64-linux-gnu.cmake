# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu), linking
# Debian's arm64 library packages installed beside the host's through
# multiarch: libraries in /usr/lib/aarch64-linux-gnu, headers shared in
# /usr/include. scripts/install-deps.sh --arm64-cross installs all of it.
#   cmake -S . -B build-arm64 -G Ninja \
#     --toolchain cmake/toolchains/aarch64-linux-gnu.cmake -DKELVO_WITH_GL=OFF
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Only the arm64 libraries and package files: the host's x86-64 ones sit in
# the same prefix, under /usr/lib/x86_64-linux-gnu.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

# Tests, test discovery and build-time programs run under qemu-user. -L /
# takes the loader and libc from multiarch, the same revision as the libraries
# linked here (the cross tree's loader in /usr/aarch64-linux-gnu is another
# revision and hangs programs that start a thread).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
