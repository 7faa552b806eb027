#!/bin/sh
# The viewer under a virtual X server: loads the embedded sample, runs a
# check, shows result 3 (an interference: plate and bolt) and writes its 3D
# view; once with the clip plane through the result, once without. Checks
# the pixels: both instances of the pair in their colours, the cut line and
# box, and the clip plane's dark caps only when the plane is on. Then the
# section tool: a synthetic mouse drag on its square moves the plane; the
# measure tool: two clicks snap to edge ends and give their distance.
# Last, the saved report against `vistrel check --json` for the same options.
# usage: viewer_test.sh VIEWER OUTDIR VISTREL
set -u
viewer=$1
out=$2
vistrel=$3
here=$(dirname "$0")
mkdir -p "$out"

# A free display number; another test or developer may hold one.
xvfb_pid=
for n in $(seq 91 140); do
  [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
  Xvfb :$n -screen 0 1280x800x24 +extension GLX -nolisten tcp >"$out/xvfb.log" 2>&1 &
  xvfb_pid=$!
  i=0
  while [ $i -lt 50 ] && [ ! -e /tmp/.X11-unix/X$n ] && kill -0 $xvfb_pid 2>/dev/null; do
    sleep 0.1; i=$((i + 1))
  done
  if [ -e /tmp/.X11-unix/X$n ] && kill -0 $xvfb_pid 2>/dev/null; then
    export DISPLAY=:$n
    break
  fi
  kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; xvfb_pid=
done
[ -n "$xvfb_pid" ] || { echo "no X server could be started"; exit 1; }
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT

fail=0
check() {  # check LABEL CONDITION
  if [ "$2" -eq 1 ]; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi
}

mkdir -p "$out/run" && chmod 700 "$out/run"
export XDG_RUNTIME_DIR="$out/run"
timeout 45 "$viewer" --select 3 --screenshot "$out/clip.png" --report "$out/report.json" || { echo "viewer failed"; exit 1; }
timeout 45 "$viewer" --select 3 --no-clip --screenshot "$out/noclip.png" || { echo "viewer failed"; exit 1; }
# The section tool on the same result, its square dragged 80 pixels up.
timeout 45 "$viewer" --select 3 --drag-section 0,-80 --screenshot "$out/section.png" >"$out/section.txt" ||
  { echo "viewer failed"; exit 1; }

set -- $("$here/count_colours.sh" "$out/clip.png")
echo "clip:    blue $1 green $2 red $3 dark $4"
check "first instance shown" $(( $1 > 2000 ))
check "second instance shown" $(( $2 > 2000 ))
check "cut line and box shown" $(( $3 > 1000 ))
check "clip plane caps shown" $(( $4 > 2000 ))
clip_green=$2
set -- $("$here/count_colours.sh" "$out/noclip.png")
echo "no clip: blue $1 green $2 red $3 dark $4"
check "no caps without the clip plane" $(( $4 < 500 ))
check "the clip plane cuts the second instance away" $(( $2 > clip_green * 2 ))
set -- $("$here/count_colours.sh" "$out/section.png")
echo "section: blue $1 green $2 red $3 dark $4"
check "the dragged section shows more of the second instance" $(( $2 > clip_green * 2 ))
moved=$(awk '/^section before/ { b = $6 } /^section after/ { a = $6 } END { d = a - b; print (d > 1 || d < -1) ? 1 : 0 }' "$out/section.txt")
check "the drag moved the clip plane" "$moved"
# The measure tool: clicks on the plate's top edge 4 and 7 units from its
# corners snap to the corners (130 10 5) and (170 10 5): 40 apart.
timeout 45 "$viewer" --select 3 --no-clip --measure 134,10,5,163,10,5 --screenshot "$out/measure.png" \
  >"$out/measure.txt" || { echo "viewer failed"; exit 1; }
cat "$out/measure.txt"
grep -q '^measure point 1 130 10 5 snapped$' "$out/measure.txt"; check "first click snapped to its corner" $(( $? == 0 ))
grep -q '^measure point 2 170 10 5 snapped$' "$out/measure.txt"; check "second click snapped to its corner" $(( $? == 0 ))
grep -q '^measure distance 40$' "$out/measure.txt"; check "distance of the snapped points" $(( $? == 0 ))
grep -q '"kind": *"interference"' "$out/report.json"; check "report written" $(( $? == 0 ))
timeout 45 "$viewer" --distance 3 --cut-faces --report "$out/viewer.json" || { echo "viewer failed"; exit 1; }
"$vistrel" check --distance 3 --cut-faces --json "$out/check.json" --quiet >/dev/null
sed 's/"seconds":[0-9.eE+-]*//' "$out/viewer.json" >"$out/viewer.cmp"
sed 's/"seconds":[0-9.eE+-]*//' "$out/check.json" >"$out/check.cmp"
[ -s "$out/check.cmp" ] && grep -q '"kind":"near"' "$out/check.cmp"; check "the check found near pairs" $(( $? == 0 ))
cmp -s "$out/viewer.cmp" "$out/check.cmp"; check "saved report as vistrel check writes it" $(( $? == 0 ))
exit $fail
