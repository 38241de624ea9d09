#!/usr/bin/env bash
# Rebuilds the VLB core fixtures: MPEG-2 AAC-LC ADTS streams made by ffmpeg's encoder from
# sox signals (sweeps, plucked notes and noise bursts, so that short windows, M/S and
# intensity stereo all occur). Run from this folder; needs sox and ffmpeg.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
make() {  # name rate channels bitrate
    local name=$1 rate=$2 ch=$3 br=$4
    if [ "$ch" = 1 ]; then
        sox -n -r "$rate" -c 1 -b 16 "$tmp/a.wav" synth 1.2 sine 200-6000 gain -12
        sox -n -r "$rate" -c 1 -b 16 "$tmp/b.wav" synth 0.02 whitenoise gain -8 pad 0.3 0.3
        sox -m "$tmp/a.wav" "$tmp/b.wav" "$tmp/in.wav"
    else
        sox -n -r "$rate" -c 2 -b 16 "$tmp/a.wav" synth 1.2 sine 200-6000 sine 330 gain -12
        sox -n -r "$rate" -c 2 -b 16 "$tmp/b.wav" synth 0.02 whitenoise gain -8 pad 0.3 0.3
        sox -m "$tmp/a.wav" "$tmp/b.wav" "$tmp/in.wav"
    fi
    ffmpeg -v error -y -i "$tmp/in.wav" -c:a aac -b:a "$br" -aac_pns 0 -write_mpeg2 1 -f adts "$name"
}
make mono16k.aac 16000 1 32k
make stereo22k.aac 22050 2 48k
make mono24k.aac 24000 1 40k
make stereo32k.aac 32000 2 64k
make stereo44k.aac 44100 2 96k
make mono48k.aac 48000 1 64k
make stereo48k_is.aac 48000 2 40k
