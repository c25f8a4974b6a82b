#!/usr/bin/env bash
# Draws docs/score/lumenfrost.png from a render of the track: a spectrogram of
# the whole mix (0-16 kHz), a close-up of the bass band (0-500 Hz), and the
# short-term loudness (EBU R 128, 3 s window), with the score's sections marked.
#
#   docs/score/make_picture.sh "[lumenfrost_32k].exe.wav" [docs/score/lumenfrost.png]
#
# Needs sox, ffmpeg and ImageMagick (Debian: sox ffmpeg imagemagick). The
# section names and bars are read from content/score/lumenfrost.score.
set -euo pipefail

wav=${1:?usage: make_picture.sh WAV [OUT.png]}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${2:-$root/docs/score/lumenfrost.png}
missing=()
for tool in sox soxi ffmpeg; do
    command -v "$tool" > /dev/null || missing+=("$tool")
done
convert=$(command -v /usr/bin/convert || command -v convert || true)
[ -n "$convert" ] || missing+=(convert)
if [ ${#missing[@]} -gt 0 ]; then
    echo "make_picture.sh: missing ${missing[*]}; install sox, ffmpeg and ImageMagick" \
         "(Debian: sudo apt-get install sox ffmpeg imagemagick)" >&2
    exit 1
fi
[ -r "$wav" ] || { echo "make_picture.sh: cannot read $wav" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

width=1600          # pixels for the whole file
left=70             # margin for the axis labels
duration=$(soxi -D "$wav")
px_per_s=$(awk -v w=$width -v d="$duration" 'BEGIN { printf "%.6f", w / d }')

# Spectrograms of the mono mix: the full band, and the bass band resampled so
# that 0-500 Hz fills the panel.
sox "$wav" "$tmp/mono.wav" remix 1,2
sox "$tmp/mono.wav" -n rate 32k spectrogram -r -x $width -y 360 -z 95 -o "$tmp/full.png"
sox "$tmp/mono.wav" -n rate 1k spectrogram -r -x $width -y 200 -z 95 -o "$tmp/bass.png"

# Short-term loudness every 0.1 s from ffmpeg's EBU R 128 meter.
ffmpeg -hide_banner -nostats -loglevel verbose -i "$wav" -af ebur128=framelog=verbose \
    -f null - 2> "$tmp/r128.txt" || true
awk '/Parsed_ebur128/ && / t: / {
        t = $0; sub(/.* t: */, "", t); sub(/ .*/, "", t)
        s = $0; sub(/.*S: */, "", s); sub(/ .*/, "", s)
        print t, s }' "$tmp/r128.txt" > "$tmp/short_term.txt"
integrated=$(awk '/Integrated loudness:/ { f = 1 } f && /I:/ { print $2; exit }' "$tmp/r128.txt")

# The loudness panel: -40 to 0 LUFS over 160 px, a grid line every 10 LU.
lh=160
points=$(awk -v px=$px_per_s -v l=$left -v h=$lh '{
        s = $2; if (s < -40) s = -40; if (s > 0) s = 0;
        printf "%.1f,%.1f ", l + $1 * px, (-s / 40) * h }' "$tmp/short_term.txt")
grid=""
for db in 0 10 20 30 40; do
    y=$((db * lh / 40))
    grid+=" line $left,$y $((left + width)),$y"
done
"$convert" -size $((left + width))x$((lh + 1)) xc:'#101418' \
    -stroke '#3a4450' -draw "$grid" \
    -fill none -stroke '#f0c060' -strokewidth 1.5 -draw "polyline $points" \
    -stroke none -fill '#c8d0d8' -font DejaVu-Sans -pointsize 12 \
    -annotate +4+12 '0 LUFS' -annotate +4+$((lh / 2 + 4)) '-20' -annotate +4+$((lh - 2)) '-40' \
    -annotate +$((left + 8))+$((lh - 8)) "short-term loudness (3 s), integrated ${integrated} LUFS" \
    "$tmp/loud.png"

# Panels with their axis labels.
"$convert" "$tmp/full.png" -background '#101418' -gravity east -extent $((left + width))x360 \
    -fill '#c8d0d8' -font DejaVu-Sans -pointsize 12 -gravity northwest \
    -annotate +4+2 '16 kHz' -annotate +4+174 '8 kHz' -annotate +4+344 '0 Hz' \
    "$tmp/full_l.png"
"$convert" "$tmp/bass.png" -background '#101418' -gravity east -extent $((left + width))x200 \
    -fill '#c8d0d8' -font DejaVu-Sans -pointsize 12 -gravity northwest \
    -annotate +4+2 '500 Hz' -annotate +4+92 '250 Hz' -annotate +4+140 '150 Hz' \
    -annotate +4+184 '0 Hz' "$tmp/bass_l.png"

# Section marks from the score: `section NAME BAR[:BEAT]`.
marks=""
labels=()
row=0
while read -r name pos; do
    bar=${pos%%:*}
    beat=1
    [[ $pos == *:* ]] && beat=${pos#*:}
    x=$(awk -v b="$bar" -v t="$beat" -v px=$px_per_s -v l=$left \
        'BEGIN { printf "%d", l + (((b - 1) * 4 + (t - 1)) / 3) * px }')
    marks+=" line $x,0 $x,755"
    labels+=(-annotate "+$((x + 3))+$((14 + 16 * row))" "$name")
    row=$((1 - row))
done < <(awk '$1 == "section" { print $2, $3 }' "$root/content/score/lumenfrost.score")

# Time axis: a tick and a label every 10 s.
ticks=""
tlabels=()
for ((s = 0; s <= ${duration%.*}; s += 10)); do
    x=$(awk -v s=$s -v px=$px_per_s -v l=$left 'BEGIN { printf "%d", l + s * px }')
    ticks+=" line $x,0 $x,6"
    tlabels+=(-annotate "+$((x - 8))+20" "${s}s")
done

"$convert" -size $((left + width))x22 xc:'#101418' -stroke '#c8d0d8' -draw "$ticks" \
    -stroke none -fill '#c8d0d8' -font DejaVu-Sans -pointsize 11 "${tlabels[@]}" "$tmp/axis.png"
"$convert" -size $((left + width))x34 xc:'#101418' -fill '#ffffff' -font DejaVu-Sans-Bold \
    -pointsize 12 "${labels[@]}" "$tmp/names.png"
"$convert" -size $((left + width))x30 xc:'#101418' -fill '#ffffff' -font DejaVu-Sans-Bold \
    -pointsize 16 -annotate +$left+21 'lumenfrost: spectrogram, bass band and loudness' \
    "$tmp/title.png"

"$convert" "$tmp/title.png" "$tmp/names.png" "$tmp/full_l.png" "$tmp/bass_l.png" \
    "$tmp/loud.png" "$tmp/axis.png" -append \
    -stroke '#ffffff80' -strokewidth 1 -draw "translate 0,30 $marks" \
    -dither None -colors 96 "PNG8:$out"
echo "wrote $out"
