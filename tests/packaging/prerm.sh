#!/bin/sh
# The package's prerm with systemctl played by a stub that records its
# calls: removing disables the MQTT message server, so that no enable link
# outlives its unit; an upgrade leaves it alone.
set -eu
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
printf '#!/bin/sh\necho "$*" >>"%s/calls"\n' "$stub" >"$stub/systemctl"
chmod +x "$stub/systemctl"
run() { : >"$stub/calls"; PATH="$stub:$PATH" sh "$1/prerm" "$2"; cat "$stub/calls"; }
calls=$(run "$1" remove)
[ "$calls" = "disable msgserver-mqtt.service" ] || { echo "prerm remove called: $calls"; exit 1; }
calls=$(run "$1" upgrade)
[ -z "$calls" ] || { echo "prerm upgrade called: $calls"; exit 1; }
