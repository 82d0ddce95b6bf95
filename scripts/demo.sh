#!/bin/bash
# demo.sh - set-up, build, then the main job on a bundled example. For now: an example self-extractor
# (the stub with a stub header and an archive header behind it) and what `zor info` finds in it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in native win32; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j2
done

mkdir -p build/demo
stub=build/win32/src/startup/zorsfx.exe
example=build/demo/example.exe
python3 scripts/make_sfx_fixture.py "$stub" "$example" \
    --title 'Example Archive' --folder 'C:\Example' --flags 0x02 --file-count 3
echo "zorsfx.exe: $(stat -c %s "$stub") bytes; example self-extractor: $example"
echo
echo "\$ zor info $example"
build/native/src/cli/zor info "$example"
