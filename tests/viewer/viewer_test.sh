#!/bin/sh
# The viewer under a virtual X server: loads the embedded sample, runs a
# check, shows result 3 (an interference: plate and bolt) and writes its 3D
# view; once with the clip plane through the result, once without. Checks
# the pixels: both instances of the pair in their colours, the cut line and
# box, the pair framed; with the plane on, the cut solids capped in their
# own colours and their overlap in the caps' third colour, nothing black
# (the insides lit), the see-through plane not changing the pair's colours. Then the section tool: a synthetic mouse drag on its
# square moves the plane, and the caps follow it; the
# measure tool: the point tracker marks the snap under the mouse, two clicks
# snap to edge ends and give their distance.
# Picking: clicks select instances (Shift adds), Del deletes them only when
# the question is answered yes, Esc clears the selection. The move tool:
# a drag on its ball turns a bolt of a sub-assembly about the ball's centre
# (the scene's own traversal must show that motion), and the re-check of
# the moved bolt must list exactly what a full check then lists, in one
# group and in two groups.
# Last, the saved report against `vistrel check --json` for the same options,
# with and without group 2 and an ignore list.
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
# The section tool on the same result, its square dragged 25 pixels down:
# the plane leaves the bolt's shank and still cuts the plate.
timeout 45 "$viewer" --select 3 --drag-section 0,25 --screenshot "$out/section.png" >"$out/section.txt" ||
  { echo "viewer failed"; exit 1; }

set -- $("$here/count_colours.sh" "$out/clip.png")
echo "clip:    blue $1 green $2 red $3 dark $4 caps $5 $6 overlap $7"
check "first instance shown" $(( $1 > 2000 ))
check "second instance shown" $(( $2 > 2000 ))
check "cut line and box shown" $(( $3 > 1000 ))
check "the cut solids capped, each in its colour" $(( $5 > 1000 && $6 > 1000 ))
check "the interference's section in the overlap colour" $(( $7 > 50 ))
check "nothing black in the cut pair (insides lit)" $(( $4 < 100 ))
clip_green=$(( $2 - $6 ))  # the bolt's surface, its cap not counted
set -- $("$here/count_colours.sh" "$out/noclip.png")
echo "no clip: blue $1 green $2 red $3 dark $4 caps $5 $6 overlap $7"
check "no caps without the clip plane" $(( $5 + $6 + $7 < 20 ))
check "the clip plane cuts the second instance away" $(( $2 > clip_green * 2 ))
# The pair framed: what is drawn (the pair, its box and cut line; no
# plane) spans half the view's width or height.
set -- $(convert "$out/noclip.png" -fuzz 3% -trim -format "%w %h %W %H" info:)
echo "no clip: drawn ${1}x$2 of ${3}x$4"
check "the selected result's pair framed" $(( $1 * 2 >= $3 || $2 * 2 >= $4 ))
set -- $("$here/count_colours.sh" "$out/section.png")
echo "section: blue $1 green $2 red $3 dark $4 caps $5 $6 overlap $7"
check "the dragged section shows more of the second instance" $(( $2 - $6 > clip_green * 2 ))
# Caps left at the result's plane would still show the overlap.
check "the caps follow the dragged plane" $(( $5 > 500 && $6 > 500 && $7 == 0 ))
moved=$(awk '/^section before/ { b = $6 } /^section after/ { a = $6 } END { d = a - b; print (d > 1 || d < -1) ? 1 : 0 }' "$out/section.txt")
check "the drag moved the clip plane" "$moved"
# The measure tool: clicks on the plate's top edge 4 and 7 units from its
# corners snap to the corners (130 10 5) and (170 10 5): 40 apart.
timeout 45 "$viewer" --select 3 --no-clip --measure 134,10,5,163,10,5 --screenshot "$out/measure.png" \
  >"$out/measure.txt" || { echo "viewer failed"; exit 1; }
cat "$out/measure.txt"
grep -q '^measure tracker 130 10 5$' "$out/measure.txt"; check "the tracker marks the snap under the mouse" $(( $? == 0 ))
grep -q '^measure point 1 130 10 5 snapped$' "$out/measure.txt"; check "first click snapped to its corner" $(( $? == 0 ))
grep -q '^measure point 2 170 10 5 snapped$' "$out/measure.txt"; check "second click snapped to its corner" $(( $? == 0 ))
grep -q '^measure distance 40$' "$out/measure.txt"; check "distance of the snapped points" $(( $? == 0 ))
grep -q '"kind": *"interference"' "$out/report.json"; check "report written" $(( $? == 0 ))
same_report() {  # same_report LABEL VIEWER-OPTIONS -- CHECK-OPTIONS
  label=$1; shift
  v=; while [ "$1" != -- ]; do v="$v $1"; shift; done; shift
  timeout 45 "$viewer" $v --report "$out/viewer.json" >/dev/null || { echo "viewer failed"; exit 1; }
  "$vistrel" check "$@" --json "$out/check.json" --quiet >/dev/null
  sed 's/"seconds":[0-9.eE+-]*//' "$out/viewer.json" >"$out/viewer.cmp"
  sed 's/"seconds":[0-9.eE+-]*//' "$out/check.json" >"$out/check.cmp"
  [ -s "$out/check.cmp" ]; check "$label: vistrel check wrote a report" $(( $? == 0 ))
  cmp -s "$out/viewer.cmp" "$out/check.cmp"; check "$label: saved report as vistrel check writes it" $(( $? == 0 ))
}
same_report "near" --distance 3 --cut-faces -- --distance 3 --cut-faces
grep -q '"kind":"near"' "$out/check.cmp"; check "the check found near pairs" $(( $? == 0 ))
same_report "groups" --group2 Bracket_1/Plate --ignore Bracket_1/Bolt_1 -- --group2 Bracket_1/Plate --ignore Bracket_1/Bolt_1
grep -q '"two_group":true' "$out/check.cmp" && [ "$(grep -o '"kind"' "$out/check.cmp" | wc -l)" -eq 1 ]
check "groups: one result, plate against the one bolt not ignored" $(( $? == 0 ))

# Picking and Del: the cover's top (z 46) and the top of PlateA.
for answer in no yes; do
  timeout 45 "$viewer" --pick 50,30,46 --pick 170,165,5 --delete $answer >"$out/pick-$answer.txt" ||
    { echo "viewer failed"; exit 1; }
  cat "$out/pick-$answer.txt"
done
sel=$(sed -n 's/^selected //p' "$out/pick-yes.txt" | tr ' ' '\n' | sort | tr '\n' ' ')
check "a click selects, Shift-click adds" $(( $(echo "$sel" | grep -c '^Cover PlateA $') == 1 ))
grep -q '^question .* -> no$' "$out/pick-no.txt" && grep -q '^instances left 13$' "$out/pick-no.txt"
check "Del asks; no keeps every instance" $(( $? == 0 ))
grep -q '^instances left 11$' "$out/pick-yes.txt"; check "Del answered yes deletes the two" $(( $? == 0 ))
grep -q '^after Esc$' "$out/pick-yes.txt"; check "Esc clears the selection" $(( $? == 0 ))

# The move tool, one group with an ignored instance, then two groups.
n=0
for opts in "--ignore Cover --move Bracket_1/Bolt_2,40,30" "--group2 Bracket_1/Plate --move Bracket_1/Bolt_2,-30,40"; do
  n=$((n + 1))
  timeout 60 "$viewer" $opts --drag-screenshot "$out/drag$n.png" --screenshot "$out/move$n.png" >"$out/move$n.txt" ||
    { echo "viewer failed"; exit 1; }
  cat "$out/move$n.txt"
  grep -q '^move recheck 1$' "$out/move$n.txt"; check "move $n: the release re-checked the instance" $(( $? == 0 ))
  turned=$(awk '/^move angle/ { print ($3 > 5) ? 1 : 0 }' "$out/move$n.txt")
  check "move $n: the drag turned the instance (traversal's matrix)" "${turned:-0}"
  fixed=$(awk '/^move centre shift/ { print ($4 < 0.01) ? 1 : 0 }' "$out/move$n.txt")
  check "move $n: about the ball's centre" "${fixed:-0}"
  grep '^before ' "$out/move$n.txt" | cut -d' ' -f2- >"$out/before$n"
  grep '^recheck ' "$out/move$n.txt" | cut -d' ' -f2- >"$out/recheck$n"
  grep '^full ' "$out/move$n.txt" | cut -d' ' -f2- >"$out/full$n"
  [ -s "$out/full$n" ] && cmp -s "$out/recheck$n" "$out/full$n"
  check "move $n: the re-check lists what a full check lists" $(( $? == 0 ))
  cmp -s "$out/before$n" "$out/recheck$n"; check "move $n: the moved bolt's result changed" $(( $? != 0 ))
  # The ball's three arrows (blue, green, red) while the button is down;
  # the model is grey, and no result is shown.
  set -- $("$here/count_colours.sh" "$out/drag$n.png")
  check "move $n: the ball shows while dragging" $(( $1 > 50 && $2 > 50 && $3 > 50 ))
done
exit $fail
