#!/usr/bin/env bash
# Runs a command inside the environment the tests expect:
#  - a throw-away HOME, so tests never touch the user's settings, cache or keyring;
#  - a private D-Bus session bus with an unlocked gnome-keyring (Secret Service);
#  - Qt's offscreen platform for widget tests, with two screens: a usual
#    1920 x 1080 desktop and a 960 x 540 one (what 1920 x 1080 is at scale
#    factor 2), to its right;
#  - SANE restricted to its "test" backend.
# Usage: scripts/test-env.sh COMMAND [ARGS...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ -z "${PAPERLARK_TEST_ENV:-}" ]]; then
    scratch=$(mktemp -d /tmp/paperlark-test.XXXXXX)
    trap 'rm -rf "$scratch"' EXIT
    mkdir -p "$scratch/home" "$scratch/runtime"
    chmod 700 "$scratch/runtime"
    export HOME="$scratch/home"
    export XDG_RUNTIME_DIR="$scratch/runtime"
    unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DBUS_SESSION_BUS_ADDRESS
    export QT_QPA_PLATFORM="offscreen:configfile=$root/tests/data/offscreen-screens.json"
    export SANE_CONFIG_DIR="$root/tests/data/sane"
    export PAPERLARK_TEST_ENV=1
    # dbus-run-session tears the bus (and the keyring daemon on it) down when the command ends.
    dbus-run-session -- "$0" "$@"
    exit $?
fi

# Inside the private session bus: create and unlock a login keyring (the
# password only protects this throw-away keyring), then make sure the daemon
# serves the Secret Service interface.
printf 'paperlark-test' | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || true
gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1 || true
exec "$@"
