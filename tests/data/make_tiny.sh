#!/bin/sh
# make_tiny.sh - rebuilds tiny32.exe and tiny64.exe from tiny.c with mingw-w64 and stamps them the way
# the build stamps zorsfx.exe (so the tests can compare the stub's stamp with the build script's).
set -eu
cd "$(dirname "$0")"
flags="-Os -s -nostdlib -fno-asynchronous-unwind-tables -Wl,--no-insert-timestamp"
i686-w64-mingw32-gcc $flags -Wl,-e,_entry@0 tiny.c -o tiny32.exe -lkernel32
x86_64-w64-mingw32-gcc $flags -Wl,-e,entry tiny.c -o tiny64.exe -lkernel32
python3 ../../cmake/stamp_image.py tiny32.exe
python3 ../../cmake/stamp_image.py tiny64.exe
