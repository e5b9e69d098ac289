#!/usr/bin/env bash
# The panel from the Windows zip on its demo, under Wine and Xvfb, as a kiosk
# PC runs it: the zip's kiosk launcher starts it full screen on the project
# settings.ini names (and top-most), against the zip's own msgserver-sim:
# wine-demo.sh PROGRAM-FOLDER SCREENSHOT LOG-FOLDER. ./panel.sh wine-check
# runs it in a private network namespace. It passes when the panel registered
# its font, logged in to the simulator, drew the demo's first page with the
# values it reported, the screenshot is no blank screen, a press reaches the
# simulator, and Ctrl+C (SIGINT,
# which Wine hands on as Ctrl+C) ends the launcher and, through Windows'
# close, the panel. Every process it starts is ended by its id.
set -euo pipefail
folder=$1 screenshot=$2 logs=$3
wine_run="$(dirname "$0")/wine-run.sh"
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
say_fail() {
    echo "$1; the logs:" >&2
    tail -n 20 "$logs"/wine-sim.log "$logs"/wine-panel.log >&2 || true
    exit 1
}
# wait_for FILE PATTERN SECONDS
wait_for() {
    local n
    for n in $(seq $(($3 * 2))); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.5
    done
    return 1
}

# A 7-inch wall panel's screen.
display=:$((70 + RANDOM % 200))
Xvfb "$display" -screen 0 800x480x24 -nolisten tcp >"$logs/wine-xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done

"$wine_run" "" "$folder/msgserver-sim.exe" --ready-after 500 >"$logs/wine-sim.log" 2>&1 &
pids+=($!)
wait_for "$logs/wine-sim.log" "listening on" 60 || say_fail "msgserver-sim.exe did not start"

printf '[General]\r\nprojectAutoStart=demo.qlxd\r\nautoConnect=true\r\n' >"$folder/projects/settings.ini"
"$wine_run" "" "$folder/qalix-plus-control-kiosk.exe" -topmost >"$logs/wine-panel.log" 2>&1 &
kiosk=$!
pids+=("$kiosk")
wait_for "$logs/wine-panel.log" '^0 ("Prototype")' 90 || say_fail "The panel did not register its font"
wait_for "$logs/wine-sim.log" "client started" 60 || say_fail "The panel did not log in to msgserver-sim.exe"
wait_for "$logs/wine-panel.log" '^Create Text' 60 || say_fail "The panel drew no text"
# The reports of the login are drawn within the update timer's ticks; Wine paints a moment later.
sleep 5
import -display "$display" -window root "$screenshot"
colours=$(convert "$screenshot" -format %k info:)
[ "$colours" -gt 16 ] || say_fail "The screenshot shows $colours colours: a blank screen"
echo "The panel drew the demo under Wine ($colours colours), screenshot $screenshot"

# A press on "Alles aus" (the first page's central switch, zoomed to the
# screen's height) reaches the simulator as a command.
xdotool mousemove 361 366 click 1
wait_for "$logs/wine-sim.log" "^command OUT.Zentral.1=" 30 || say_fail "A press on \"Alles aus\" sent no command"
echo "A press on \"Alles aus\" reached msgserver-sim.exe: $(grep -m1 '^command' "$logs/wine-sim.log" | tr -d '\r')"

kill -INT "$kiosk"
status=0
for _ in $(seq 40); do kill -0 "$kiosk" 2>/dev/null || break; sleep 0.5; done
wait "$kiosk" || status=$?
[ "$status" -eq 130 ] || say_fail "The kiosk launcher ended with $status after Ctrl+C, not 130"
! grep -q "killing it" "$logs/wine-panel.log" || say_fail "The panel did not close when the launcher asked it to"
echo "Ctrl+C ended the kiosk launcher (exit code 130) and the panel with it"
