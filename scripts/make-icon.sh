#!/usr/bin/env bash
# Draws the tool's icon, gui/resources/velkor-tool.png: a chip on a blue tile with an arrow
# that flashes new firmware into it. Needs ImageMagick (Debian package imagemagick).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/gui/resources/velkor-tool.png

# Drawn four times larger and scaled down, for smooth edges; coordinates on a 256 grid.
s=4
px() { echo $(($1 * s)); }
pins=()
for i in 0 1 2 3; do
  at=$((90 + i * 24))
  pins+=(-draw "rectangle $(px $at) $(px 52) $(px $((at + 12))) $(px 76)")
  pins+=(-draw "rectangle $(px $at) $(px 180) $(px $((at + 12))) $(px 204)")
  pins+=(-draw "rectangle $(px 52) $(px $at) $(px 76) $(px $((at + 12)))")
  pins+=(-draw "rectangle $(px 180) $(px $at) $(px 204) $(px $((at + 12)))")
done

/usr/bin/convert -size $((256 * s))x$((256 * s)) xc:none \
  -fill '#1d4f7c' -draw "roundrectangle $(px 8) $(px 8) $(px 247) $(px 247) $(px 44) $(px 44)" \
  -fill '#b9c7d4' "${pins[@]}" \
  -fill '#f2f5f8' -draw "roundrectangle $(px 70) $(px 70) $(px 185) $(px 185) $(px 12) $(px 12)" \
  -fill '#f08c00' \
  -draw "rectangle $(px 115) $(px 82) $(px 141) $(px 124)" \
  -draw "polygon $(px 94),$(px 120) $(px 162),$(px 120) $(px 128),$(px 160)" \
  -fill '#1d4f7c' -draw "rectangle $(px 94) $(px 166) $(px 162) $(px 174)" \
  -resize 256x256 -strip "PNG32:$out"
echo "$out"
