#!/bin/sh
# Prints the pixel counts "blue green red dark" of a PNG: the viewer's
# colours for the first and second instance of a result, the cut line and
# box (pure red), and the clip plane's caps (near black).
convert "$1" -depth 8 -format %c histogram:info:- | awk '{
  n = $1 + 0; c = $2; gsub(/[():]/, "", c); split(c, v, ",")
  r = v[1] + 0; g = v[2] + 0; b = v[3] + 0
  if (b > 90 && b > r + 60 && b > g + 40) blue += n
  else if (g > 80 && g > r + 50 && g > b + 50) green += n
  else if (r > 180 && g < 80 && b < 80) red += n
  else if (r < 30 && g < 30 && b < 30) dark += n
} END { printf "%d %d %d %d\n", blue, green, red, dark }'
