#!/usr/bin/env bash
# Runs the panel on the bundled demo, with the message server simulator serving
# the demo's ports on 127.0.0.1:64401. Without a display it runs under Xvfb for a
# few seconds and leaves a screenshot in the build folder. The information lines
# of both (one per port report and per drawn text) go to log files there. The
# panel marks its values stale 10 s after losing the simulator (stop it to see).
set -euo pipefail
build="$1"
panel="$build/qalix-plus-control"
sim="$build/msgserver-sim"
simlog="$build/msgserver-sim.log"
panellog="$build/demo-panel.log"
package="$build/projects/demo.qlxd"
args=()
[ -f "$package" ] && args+=("$package")
switches=(-stale=10)

# The simulator runs in the background and is ended by its PID when the panel exits.
"$sim" --ready-after 500 >"$simlog" 2>&1 &
simpid=$!
trap 'kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    grep -q "listening on" "$simlog" 2>/dev/null && break
    if ! kill -0 "$simpid" 2>/dev/null; then
        echo "msgserver-sim did not start:" >&2
        cat "$simlog" >&2
        exit 1
    fi
    sleep 0.1
done
echo "$(head -n 1 "$simlog") (log in $simlog)"
echo "Panel on ${args[*]:-its start dialog} (log in $panellog)"

if [ -n "${DISPLAY:-}" ]; then
    status=0
    "$panel" "${switches[@]}" "${args[@]}" >"$panellog" 2>&1 || status=$?
    [ "$status" -eq 0 ] || echo "The panel ended with exit code $status; see $panellog" >&2
    exit "$status"
fi

echo "No display: running under Xvfb, screenshot in $build/demo.png"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$1" "${@:4}" >"$3" 2>&1 & pid=$!
    sleep 6
    import -window root "$2" || true
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
' _ "$panel" "$build/demo.png" "$panellog" "${switches[@]}" "${args[@]}"
