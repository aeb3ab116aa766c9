#!/usr/bin/env bash
# Runs a command with SANE's virtual "test" scanner offered beside the
# system's own scanners, so Paperlark can be tried without hardware.
# It makes a SANE configuration folder of the project's own (in the build
# folder) whose dll.conf lists the system's backends plus "test"; every other
# backend setting is still read from the system's folder, which stays
# untouched. The installed application uses the system's configuration only.
# Usage: scripts/with-test-scanner.sh COMMAND [ARGS...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
system_dir=/etc/sane.d
conf="$root/build/sane-with-test"
mkdir -p "$conf"

{
    echo "# Made by scripts/with-test-scanner.sh: the system's backends, then the test scanner."
    if [[ -r "$system_dir/dll.conf" ]]; then
        grep -v -E '^[[:space:]]*test[[:space:]]*$' "$system_dir/dll.conf" || true
    fi
    echo "test"
} >"$conf/dll.conf"

# One virtual scanner with a flatbed (at most 200 x 200 mm) and a feeder
# that holds 10 sheets, scanning a colourful test picture.
cat >"$conf/test.conf" <<'CONF'
number_of_devices 1
test-picture "Color pattern"
CONF

# A trailing colon makes SANE search the system's folder after ours.
export SANE_CONFIG_DIR="$conf:${SANE_CONFIG_DIR:+$SANE_CONFIG_DIR:}"
exec "$@"
