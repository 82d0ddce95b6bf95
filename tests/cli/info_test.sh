#!/bin/bash
# info_test.sh - zor info on self-extractors and bare archives made from tests/data/tiny32.exe: standard
# output, standard error and exit code of each case against expected/CASE.{out,err,rc}.
# Usage: info_test.sh ZOR [--update]   (--update rewrites the expectation files)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
ZOR=$(readlink -f "$1")
UPDATE=${2:-}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/zor-cli.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
TINY=$ROOT/tests/data/tiny32.exe
fixture() { python3 "$ROOT/scripts/make_sfx_fixture.py" "$TINY" "$@"; }

fixture sfx.exe --title 'Example Title' --folder 'C:\Program Files\Example' --flags 0x02 --file-count 3
fixture plain.exe --file-count 7
fixture modified.exe --flip-byte 0x4E
fixture short.exe --title 'Cut' --archive-bytes 41
fixture empty.exe --stub-header --file-count 0
tail -c 42 plain.exe >bare.zor
python3 - <<'PY'
from pathlib import Path
Path('bare-sx.zor').write_bytes(b'SX\xfd\x00\x02\x00\x00\x00Hi' + Path('bare.zor').read_bytes())
Path('cut-headers.exe').write_bytes(Path('sfx.exe').read_bytes()[:200])
# A title with an escape sequence, a bell and a C1 control byte (0x9B, a character in 1252 but not in 874).
title, folder = b'Red\x1b[31m \x9b2J\x07!', b'C:\\Hello'
Path('controls.zor').write_bytes(b'SX\x00\x00' + bytes([len(title), 0, len(folder), 0]) + title + folder
                                 + Path('bare.zor').read_bytes())
PY

source "$HERE/harness.sh"

run sfx info sfx.exe
run plain info plain.exe
run modified info modified.exe
run empty info empty.exe
run bare info bare.zor
run bare-stub-header info bare-sx.zor
run controls info controls.zor
run controls-874 info controls.zor --codepage 874
run short info short.exe
run missing info missing.exe
run cut-headers info cut-headers.exe
run no-command
run no-file info
run two-files info a b

# A self-extractor written by this zor shows the version mark of the stub that `zor --version` names.
mkdir packed && echo hello >packed/a.txt && "$ZOR" create made.exe packed
stub=$("$ZOR" --version | sed -n 's/^self-extractor stub: \(zorsfx [^,]*\),.*/\1/p')
check stub-version grep -qxF "Stub version: $stub" <("$ZOR" info made.exe)
check version-command test "$("$ZOR" version)" = "$("$ZOR" --version)"

finish
