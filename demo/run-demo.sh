#!/usr/bin/env bash
# Runs the panel on the bundled demo. Without a display it runs under Xvfb for a
# few seconds and leaves a screenshot in the build folder.
set -euo pipefail
build="$1"
panel="$build/qalix-plus-control"
package="$build/projects/demo.qlxd"
args=()
[ -f "$package" ] && args+=("$package")

if [ -n "${DISPLAY:-}" ]; then
    exec "$panel" "${args[@]}"
fi

echo "No display: running under Xvfb, screenshot in $build/demo.png"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$1" "${@:3}" & pid=$!
    sleep 6
    import -window root "$2" || true
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
' _ "$panel" "$build/demo.png" "${args[@]}"
