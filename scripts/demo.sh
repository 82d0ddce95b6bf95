#!/bin/bash
# demo.sh - set-up, build, then the main job on the bundled example: `zor create` packs examples/hello into a
# self-extractor, `zor info` and `zor list` show what is in it, and `zor extract` unpacks it again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native   # the native build cross-builds the stub and embeds it in zor
cmake --build --preset native -j2

zor=build/native/src/cli/zor
out=build/demo
rm -rf "$out"
mkdir -p "$out"
exe=$out/hello.exe
run() {
    echo "\$ zor ${*:2}"
    "$@"
    echo
}
run "$zor" create "$exe" examples/hello --title 'Hello from zor' --default-folder 'C:\Hello'
run "$zor" info "$exe"
run "$zor" list "$exe"
run "$zor" extract -o "$out/extracted" "$exe"
diff -r examples/hello "$out/extracted/hello"
echo "The extracted folder is the same as examples/hello."
echo
echo "The self-extractor is a Windows program: on Windows, run $exe; here, under Wine:"
echo "    wine $exe                  (with a display)"
echo "    xvfb-run -a wine $exe      (without one: the dialog opens on a virtual display)"
