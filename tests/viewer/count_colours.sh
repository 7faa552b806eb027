#!/bin/sh
# Prints the pixel counts "blue green red dark cap1 cap2 overlap" of a PNG:
# the viewer's colours for the first and second instance of a result, the
# cut line and box (pure red), near black, the section caps of the first and
# second instance (their colours times 0.6, unlit, so exact up to rounding)
# and the caps' overlap (an interference's section).
convert "$1" -depth 8 -format %c histogram:info:- | awk '
function near(r, g, b, R, G, B) { return (r - R) ^ 2 + (g - G) ^ 2 + (b - B) ^ 2 <= 12 }
{
  n = $1 + 0; c = $2; gsub(/[():]/, "", c); split(c, v, ",")
  r = v[1] + 0; g = v[2] + 0; b = v[3] + 0
  if (near(r, g, b, 15, 38, 145)) cap1 += n
  if (near(r, g, b, 15, 122, 15)) cap2 += n
  if (near(r, g, b, 242, 89, 89)) overlap += n
  if (b > 90 && b > r + 60 && b > g + 40) blue += n
  else if (g > 80 && g > r + 50 && g > b + 50) green += n
  else if (r > 180 && g < 80 && b < 80) red += n
  else if (r < 30 && g < 30 && b < 30) dark += n
} END { printf "%d %d %d %d %d %d %d\n", blue, green, red, dark, cap1, cap2, overlap }'
