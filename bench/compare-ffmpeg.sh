#!/usr/bin/env bash
# Times qlhost running the Quantilaw plug-in against FFmpeg's acrusher on the same long stereo file.
#
# Usage: bench/compare-ffmpeg.sh [BUILD_DIR]   (default: build)
# Environment: MINUTES (length of the generated file, default 10), BLOCK (qlhost block size, default 512),
#              PLUGIN (path of the plug-in library; default the one in BUILD_DIR/lib).
# Both commands read the same 32-bit float WAV and write 32-bit float WAV; each whole command is timed,
# start-up included, and the script prints both wall times and their ratio.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case $build in /*) ;; *) build=$root/$build ;; esac
minutes=${MINUTES:-10}
block=${BLOCK:-512}
qlhost=$build/bin/qlhost
plugin=${PLUGIN:-}
if [ -z "$plugin" ]; then
  for candidate in "$build/lib/Quantilaw.so" "$build/lib/Quantilaw.dll" "$build/bin/Quantilaw.dll"; do
    if [ -e "$candidate" ]; then plugin=$candidate; break; fi
  done
fi

if [ ! -x "$qlhost" ] || [ -z "$plugin" ]; then
  echo "compare-ffmpeg: build qlhost and the plug-in first (looked in $build)" >&2
  exit 2
fi

if ! command -v ffmpeg >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "compare-ffmpeg: installing ffmpeg"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends ffmpeg >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/input.wav
seconds=$((minutes * 60))

# Two tones, a slow tremolo and a little noise per channel: enough level variation to exercise both segments
# of the A-law characteristic.
ffmpeg -hide_banner -loglevel error -f lavfi \
  -i "aevalsrc=0.55*sin(2*PI*440*t)*(0.6+0.4*sin(2*PI*0.3*t))+0.05*(random(0)-0.5)|0.5*sin(2*PI*554.37*t)*(0.6+0.4*cos(2*PI*0.21*t))+0.05*(random(1)-0.5):s=48000:d=$seconds" \
  -c:a pcm_f32le "$input"

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }

start=$(now)
"$qlhost" process "$plugin" "$input" "$work/quantilaw.wav" --set 0=8 --block "$block" --rate 48000 >/dev/null
qlhost_seconds=$(calc "$(now) - $start")

start=$(now)
ffmpeg -hide_banner -loglevel error -y -i "$input" -af "acrusher=bits=8:mode=log:mix=1:aa=0" -c:a pcm_f32le \
  "$work/acrusher.wav"
ffmpeg_seconds=$(calc "$(now) - $start")

samples=$((seconds * 48000 * 2))
printf 'input: %d min stereo 48 kHz float WAV (%d samples)\n' "$minutes" "$samples"
printf 'qlhost + Quantilaw (8 bits, companded, block %d): %.2f s (%.1f M samples/s)\n' "$block" "$qlhost_seconds" \
  "$(calc "$samples / $qlhost_seconds / 1000000")"
printf 'ffmpeg acrusher (bits=8 mode=log):               %.2f s (%.1f M samples/s)\n' "$ffmpeg_seconds" \
  "$(calc "$samples / $ffmpeg_seconds / 1000000")"
printf 'ratio ffmpeg / qlhost: %.2f\n' "$(calc "$ffmpeg_seconds / $qlhost_seconds")"
