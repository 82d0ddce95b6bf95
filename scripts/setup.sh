#!/bin/bash
# setup.sh - installs everything the builds and tests need on Debian 12, as root, and prepares the host
# to run 32-bit Wine. Idempotent; run it before every test run (the binfmt registration is lost on reboot).
#
# Why qemu: this kind of machine's kernel refuses 32-bit x86 Linux programs, and Wine's 32-bit loader is
# one. It runs under qemu's user-mode emulation registered with binfmt_misc. Bookworm's qemu 7.2 is about
# 300 times too slow for Wine; qemu 10 from bookworm-backports is fast.
set -euo pipefail
[ "$(id -u)" = 0 ] || exec sudo -E bash "$0" "$@"
export DEBIAN_FRONTEND=noninteractive
log() { echo "setup: $*" >&2; }

# 1. Package sources: bookworm-backports (for qemu) and the i386 architecture (for wine32).
if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # reuse the Debian mirror that the system's own main entry names
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
    [ -n "$uri" ] || { log "no Debian mirror found in the apt sources"; exit 1; }
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$uri" >/etc/apt/sources.list.d/bookworm-backports.sources
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update

# 2. Packages. Build: CMake and Ninja, g++, GoogleTest, CLI11, Python for the build scripts, the mingw-w64
# cross compilers (i686 for the stub, x86-64 with POSIX threads for zor.exe and the Wine probe), clang for
# fuzzing, and the peer libraries the benchmarks and writers compare against; dpkg-dev for the Debian package
# (cpack's scan of the libraries it needs) and groff-base for the manual page's check. Wine tests: Wine, a
# virtual X server, xdotool, ImageMagick for screenshots, x11-utils for xwininfo, osslsigncode and openssl to
# sign a self-extractor.
apt-get install -y \
    cmake ninja-build g++ googletest libgtest-dev libcli11-dev python3 \
    g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 \
    gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    clang libdivsufsort-dev libdeflate-dev zlib1g-dev libbz2-dev \
    bc dpkg-dev groff-base
apt-get install -y -t bookworm-backports qemu-user qemu-user-binfmt
apt-get install -y wine wine32:i386 wine64 xvfb xdotool imagemagick x11-utils osslsigncode openssl

# 3. binfmt_misc: run i386 ELF programs through qemu-i386 (needed after every boot).
[ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
want=/usr/libexec/qemu-binfmt/i386-binfmt-P
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && ! grep -qx "interpreter $want" /proc/sys/fs/binfmt_misc/qemu-i386; then
    echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386   # a stale entry (older qemu, other flags)
fi
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] || cat /usr/share/qemu/binfmt.d/qemu-i386.conf >/proc/sys/fs/binfmt_misc/register

# 4. The host can now run 32-bit Wine, or the Wine tests will fail (never skip).
/lib/ld-linux.so.2 --version | head -1 >&2 || { log "32-bit programs still do not run"; exit 1; }
log "$(qemu-i386 --version | head -1)"
log "$(wine --version)"
