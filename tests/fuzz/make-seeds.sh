#!/usr/bin/env bash
# Makes the seed files of the fuzz corpora (tests/fuzz/corpus/<target>/) from our own
# material: tags written by tests/fixtures/id3tag.py, tables and indexes written by our table
# layer (fuzz_seed_tables of the fuzz build), the first frames of the test MP3 files, short WAV
# files from sox. Files of other names (the regression files) are left alone.
#   tests/fuzz/make-seeds.sh FUZZ_BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 FUZZ_BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
corpus=$here/corpus
tagger=$here/../fixtures/id3tag.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$here/../fixtures/make-test-mp3s.sh" "$work/mp3" >/dev/null
mkdir -p "$corpus"/{fuzz_id3v2_tag,fuzz_mp3_to_wav,fuzz_mp3_frame_table,fuzz_wav_features}

# Tags: every version, encoding and frame layout the reader handles, in front of 16 bytes.
head -c 16 /dev/zero >"$work/audio"
tag() {
  local name=$1
  shift
  python3 "$tagger" --title "Undertow" --artist "Tidal Drift" --album "Low" "$@" \
    "$work/audio" "$corpus/fuzz_id3v2_tag/$name"
}
tag v3-latin1 --version 3 --terminate
tag v3-utf16-unsync --version 3 --encoding utf16 --bom feff --unsync --frame 'TCON=Ambient'
tag v3-compressed-crc --version 3 --compress --crc --padding 8
tag v3-grouped-encrypted --version 3 --frame 'TIT2,group,encrypt=Hidden' --raw-frame 'PRIV=00ff10'
tag v4-utf8-extended --version 4 --encoding utf8 --extended-header --mp3e-padding --padding 8 \
  --frame 'TPE1,split:;=One;Two'
tag v4-utf16be-compressed --version 4 --encoding utf16be --compress
tag v4-unsync-length --version 4 --encoding utf16 --unsync \
  --frame 'TALB,length,group=Cafe' --raw-frame 'APIC,unsync=ffe0ff00ff'

# Tables and indexes.
"$build/fuzz/fuzz_seed_tables" "$corpus"

# MP3: the first frames of tagged and untagged files, and a cut from the middle of one.
mp3=$work/mp3
head -c 2500 "$mp3/sine-mono-44k.mp3" >"$work/mono-44k.mp3"
head -c 3000 "$mp3/sine-stereo-22k.mp3" >"$work/stereo-22k.mp3"
python3 "$tagger" --strip "$mp3/white-mono-22k.mp3" "$work/untagged.mp3"
head -c 2000 "$work/untagged.mp3" >"$work/vbr-mono-22k.mp3"
tail -c +9001 "$mp3/pink-stereo-44k.mp3" | head -c 2500 >"$work/mid-stream.mp3"
for f in mono-44k stereo-22k vbr-mono-22k mid-stream; do
  cp "$work/$f.mp3" "$corpus/fuzz_mp3_to_wav/$f.mp3"
  cp "$work/$f.mp3" "$corpus/fuzz_mp3_frame_table/$f.mp3"
done
# The media device blanks an ID3v1 tag at the end and skips a version 4 tag with a footer.
{ head -c 1500 "$work/untagged.mp3"; printf 'TAG%0125d' 0; } \
  >"$corpus/fuzz_mp3_frame_table/id3v1-at-end.mp3"
python3 "$tagger" --version 4 --title T --artist A --album B "$work/vbr-mono-22k.mp3" \
  "$work/v4.mp3"
python3 - "$work/v4.mp3" "$corpus/fuzz_mp3_frame_table/id3v2-footer.mp3" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
size = 0
for b in data[6:10]:
    size = (size << 7) | b
data[5] |= 0x10  # footer flag: a copy of the header follows the tag
footer = b"3DI" + bytes(data[3:10])
open(sys.argv[2], "wb").write(bytes(data[:10 + size]) + footer + bytes(data[10 + size:]))
PY

# WAV files as the converter writes them: stereo 44.1 kHz, mono 22.05 kHz, a bare header.
sox -R -n -r 44100 -c 2 -b 16 "$corpus/fuzz_wav_features/stereo-44k.wav" synth 0.05 sine 440 sine 1000
sox -R -n -r 22050 -c 1 -b 16 "$corpus/fuzz_wav_features/mono-22k.wav" synth 0.1 whitenoise vol 0.3
head -c 44 "$corpus/fuzz_wav_features/stereo-44k.wav" >"$corpus/fuzz_wav_features/header-only.wav"
