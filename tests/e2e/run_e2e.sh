#!/usr/bin/env bash
# Runs the built program in a real X server with no window manager and checks what a person would see:
# the input-test screen, the mouse cursor following the mouse, the walk scene, the way back, Escape.
# Usage: run_e2e.sh <ditessary executable> <folder for screenshots> <screen width> <screen height>
set -euo pipefail

program=$(realpath "$1")
shots=$2
screen_w=$3
screen_h=$4
mkdir -p "$shots"
tag="${screen_w}x${screen_h}"

for tool in Xvfb xdotool xwd convert compare; do
    command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

fail() {
    echo "FAIL ($tag): $*" >&2
    exit 1
}

# The picture is scaled by the largest whole factor that fits and centred; these map picture pixels to screen.
scale=$(( screen_w / 640 < screen_h / 480 ? screen_w / 640 : screen_h / 480 ))
(( scale >= 1 )) || fail "screen smaller than the picture"
offset_x=$(( (screen_w - 640 * scale) / 2 ))
offset_y=$(( (screen_h - 480 * scale) / 2 ))

display=""
xvfb_pid=""
program_pid=""
cleanup() {
    [[ -n "$program_pid" ]] && kill "$program_pid" 2> /dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2> /dev/null || true
    wait 2> /dev/null || true
}
trap cleanup EXIT

for n in 90 91 92 93 94 95 96 97 98 99; do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp > "$shots/xvfb-$tag.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        if DISPLAY=":$n" xdotool getdisplaygeometry > /dev/null 2>&1; then display=":$n"; break; fi
        kill -0 "$xvfb_pid" 2> /dev/null || break
        sleep 0.1
    done
    [[ -n "$display" ]] && break
    kill "$xvfb_pid" 2> /dev/null || true
    xvfb_pid=""
done
[[ -n "$display" ]] || fail "no free X display among :90 to :99"
export DISPLAY=$display

# A child that has ended stays a zombie until waited for, so kill -0 alone cannot tell.
alive() {
    [[ -r /proc/$1/stat ]] && [[ "$(cut -d ')' -f 2 "/proc/$1/stat" | cut -d ' ' -f 2)" != "Z" ]]
}

shot() {
    xwd -root -silent | convert xwd:- "png:$shots/$1-$tag.png"
}

# The colour of picture pixel (x, y) as "r,g,b".
pixel() {
    local sx=$(( offset_x + $2 * scale )) sy=$(( offset_y + $3 * scale ))
    convert "$shots/$1-$tag.png" -format "%[fx:int(255*p{$sx,$sy}.r)],%[fx:int(255*p{$sx,$sy}.g)],%[fx:int(255*p{$sx,$sy}.b)]" info:
}

# Pixels of one colour inside a picture rectangle x, y, w, h.
count_colour() {
    local shot=$1 colour=$2
    local x=$(( offset_x + $3 * scale )) y=$(( offset_y + $4 * scale )) w=$(( $5 * scale )) h=$(( $6 * scale ))
    convert "$shots/$shot-$tag.png" -crop "${w}x${h}+${x}+${y}" +repage -fill black +opaque "rgb($colour)" \
        -fill white -opaque "rgb($colour)" -format "%[fx:int(mean*w*h+0.5)]" info:
}

# Waits until picture pixel (x, y) has the colour; the last screenshot stays as $name.
wait_for() {
    local name=$1 x=$2 y=$3 colour=$4 seconds=$5
    local deadline=$(( SECONDS + seconds ))
    while (( SECONDS < deadline )); do
        alive "$program_pid" || fail "the program ended while waiting for $name"
        shot "$name"
        [[ "$(pixel "$name" "$x" "$y")" == "$colour" ]] && return 0
        sleep 0.1
    done
    fail "$name: pixel ($x, $y) is $(pixel "$name" "$x" "$y"), not $colour, after ${seconds}s"
}

# Top-left corner of the white cursor square in picture pixels, found as the white pixels' bounding box outside
# the read-out lines and the frame-rate row; prints "x y".
cursor_corner() {
    local s=$scale
    local box
    box=$(convert "$shots/$1-$tag.png" -fill black +opaque white -fill black \
        -draw "rectangle $((offset_x + 190 * s)),$((offset_y + 40 * s)),$((offset_x + 400 * s)),$((offset_y + 90 * s))" \
        -draw "rectangle 0,0,$((screen_w - 1)),$((offset_y + 16 * s - 1))" -trim -format "%w %h %X %Y" info:)
    read -r w h x y <<< "$box"
    # The box's bottom-right is the cursor's; the square is 20 x 20.
    echo "$(( (x + w - offset_x) / s - 20 )) $(( (y + h - offset_y) / s - 20 ))"
}

dark_blue="7,4,48"
yellow="251,254,16"
panel_grey="121,134,150"

"$program" > "$shots/program-$tag.log" 2>&1 &
program_pid=$!

# The input-test screen: dark blue clear colour, the yellow start prompt at (0, 350).
wait_for title "$((639))" 479 "$dark_blue" 20
prompt=$(count_colour title "$yellow" 0 350 640 35)
(( prompt > 500 * scale * scale )) || fail "the start prompt shows only $prompt yellow pixels"
echo "input-test screen: prompt has $prompt yellow pixels"

# The mouse: the pointer goes into the window first, then moves relative; the cursor moves two pixels a count.
xdotool mousemove $(( screen_w / 2 )) $(( screen_h / 2 ))
sleep 0.5
shot mouse-before
read -r before_x before_y <<< "$(cursor_corner mouse-before)"
xdotool mousemove_relative 30 40
sleep 0.5
shot mouse-after
read -r after_x after_y <<< "$(cursor_corner mouse-after)"
echo "cursor moved from ($before_x, $before_y) to ($after_x, $after_y)"
(( after_x - before_x == 60 && after_y - before_y == 80 )) ||
    fail "the cursor moved by ($(( after_x - before_x )), $(( after_y - before_y ))), not (60, 80)"

# Space: the walk scene, grey panels at both sides.
xdotool key space
wait_for walk 5 240 "$panel_grey" 10
[[ "$(pixel walk 635 240)" == "$panel_grey" ]] || fail "the right panel is $(pixel walk 635 240)"
[[ "$(pixel walk 320 240)" != "$panel_grey" ]] || fail "the star field is grey"
echo "walk scene: panels grey"

# Holding Right walks the sprite off the field and the input-test screen comes back.
xdotool keydown Right
wait_for back 639 479 "$dark_blue" 30
xdotool keyup Right
echo "back on the input-test screen"

if (( scale >= 2 )); then
    # Every picture pixel is a square block of the scale's size.
    convert "$shots/back-$tag.png" -crop "$(( 640 * scale ))x$(( 480 * scale ))+${offset_x}+${offset_y}" +repage \
        "$shots/blocks-$tag.png"
    convert "$shots/blocks-$tag.png" -sample "640x480!" -sample "$(( 640 * scale ))x$(( 480 * scale ))!" \
        "$shots/resampled-$tag.png"
    differing=$(compare -metric AE "$shots/blocks-$tag.png" "$shots/resampled-$tag.png" null: 2>&1 || true)
    [[ "$differing" == "0" ]] || fail "$differing screen pixels break the ${scale}x${scale} blocks"
    echo "every picture pixel is a ${scale}x${scale} block"
fi

xdotool key Escape
for _ in $(seq 100); do
    alive "$program_pid" || break
    sleep 0.1
done
if alive "$program_pid"; then fail "Escape did not close the program"; fi
status=0
wait "$program_pid" || status=$?
program_pid=""
(( status == 0 )) || fail "exit status $status"
echo "PASS ($tag): exit status 0"
