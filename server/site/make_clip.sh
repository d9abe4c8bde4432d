#!/bin/sh
# Encodes the live show's media clip: three seconds of test pattern and tone, Ogg Theora
# and Vorbis, small enough to build in a moment.
set -e
gst="$1"
out="$2"
mkdir -p "$(dirname "$out")"
"$gst" -q \
  videotestsrc num-buffers=75 pattern=ball ! video/x-raw,width=160,height=120,framerate=25/1 \
    ! theoraenc ! queue ! mux. \
  audiotestsrc num-buffers=130 freq=440 wave=sine ! audio/x-raw,rate=22050,channels=1 \
    ! audioconvert ! vorbisenc ! queue ! mux. \
  oggmux name=mux ! filesink location="$out"
