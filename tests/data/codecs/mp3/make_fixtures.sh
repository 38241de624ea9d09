#!/bin/sh
# Remakes the Layer II fixtures of the MPEG audio tests with Debian's sox, twolame and
# ffmpeg: 0.6 s of a sweep, a tone and pink noise. Run from this folder.
set -e
t=$(mktemp -d)
sox -n -r 44100 -c 2 "$t/tone.wav" synth 0.6 sine 300-5000 sine 440 remix 1 2 gain -3
sox -n -r 44100 -c 2 "$t/noise.wav" synth 0.6 pinknoise gain -6
sox -m "$t/tone.wav" "$t/noise.wav" "$t/mix44.wav"
sox "$t/mix44.wav" -r 32000 "$t/mix32.wav"
sox "$t/mix44.wav" -r 48000 -c 1 "$t/mix48m.wav"
sox "$t/mix44.wav" -r 22050 "$t/mix22.wav"
twolame --quiet -b 192 -m s "$t/mix44.wav" l2_44k_stereo_192k.mp2
twolame --quiet -b 128 -m j -p -d "$t/mix44.wav" l2_44k_joint_128k_crc_padding.mp2
twolame --quiet -b 64 -m j "$t/mix44.wav" l2_44k_joint_64k.mp2
twolame --quiet -b 64 -m s "$t/mix44.wav" l2_44k_stereo_64k.mp2
twolame --quiet -b 96 -m s "$t/mix32.wav" l2_32k_stereo_96k.mp2
twolame --quiet -b 112 -m s "$t/mix32.wav" l2_32k_stereo_112k.mp2
twolame --quiet -b 64 -m s "$t/mix22.wav" l2_22k_stereo_64k_lsf.mp2
ffmpeg -nostdin -v error -y -i "$t/mix48m.wav" -c:a mp2 -b:a 64k l2_48k_mono_64k_ffmpeg.mp2
rm -rf "$t"
