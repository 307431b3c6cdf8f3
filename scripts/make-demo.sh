#!/usr/bin/env bash
# Makes the demo library in demo/: eight short MP3 files of our own, in three groups of
# similar sound (low drones, high bells, noise), tagged so that the grid shows artist, song
# and album. Needs sox and lame. The output is deterministic for given tool versions.
set -euo pipefail
cd "$(dirname "$0")/.."
out=demo
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# make NAME ARTIST ALBUM SONG TRACK SYNTH-SECONDS TOTAL-SECONDS SYNTH-AND-EFFECTS...
make() {
  local name=$1 artist=$2 album=$3 song=$4 track=$5 synth_seconds=$6 seconds=$7
  shift 7
  sox -R -n -r 44100 -c 2 -b 16 "$tmp/$name.wav" synth "$synth_seconds" "$@" \
    fade 0.3 "$seconds" 0.8 norm -3
  lame --quiet --noreplaygain -V 7 --resample 44.1 --id3v2-only --tt "$song" --ta "$artist" --tl "$album" \
    --tn "$track" --ty 2026 "$tmp/$name.wav" "$out/$name.mp3"
}

# Low drones: deep two-tone chords, slowly pulsing.
make low-tide-01 "Tidal Drift" "Low Water" "Undertow" 1 14 14 \
  sine 55 sine 82.5 remix 1,2 1,2 vol 0.4 tremolo 0.2 40
make low-tide-02 "Tidal Drift" "Low Water" "Slack Tide" 2 13 13 \
  sine 49 sine 73.5 remix 1,2 1,2 vol 0.4 tremolo 0.15 30
make low-tide-03 "Tidal Drift" "Low Water" "Seabed" 3 15 15 \
  sine 61.7 sine 92.5 remix 1,2 1,2 vol 0.4 tremolo 0.25 50

# High bells: one high chord, plucked in different rhythms and with slight detuning.
make glass-01 "Glass Orchard" "Chimes" "Frost Bells" 1 1 12 \
  pluck 1760 pluck 2637 remix 1,2 1,2 vol 0.4 repeat 11 highpass 800
make glass-02 "Glass Orchard" "Chimes" "Icicle" 2 0.5 12 \
  pluck 1768 pluck 2650 remix 1,2 1,2 vol 0.4 repeat 23 highpass 800
make glass-03 "Glass Orchard" "Chimes" "Crystal Rain" 3 2 12 \
  pluck 1752 pluck 2625 remix 1,2 1,2 vol 0.4 repeat 5 highpass 800

# Noise: filtered pink and white noise, like rain and surf.
make static-01 "Static Meadow" "Weather" "Rain on Tin" 1 13 13 \
  pinknoise vol 0.5 bandpass 3000 2000 tremolo 0.4 30
make static-02 "Static Meadow" "Weather" "Surf" 2 14 14 \
  whitenoise vol 0.5 lowpass 6000 tremolo 0.12 60

du -ch "$out"/*.mp3 | tail -n 1
