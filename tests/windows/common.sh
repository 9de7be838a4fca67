# shellcheck shell=bash
# What the Windows checks share: here (this folder) and root (the project), the Wine environment's
# functions (scripts/windows/wine-env.sh), and one way of saying how each item went, "ok: TEXT" or
# "FAIL: TEXT"; any FAIL leaves $fail at 1, which the check exits with.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/windows/wine-env.sh"

fail=0
report() { # STATUS TEXT
    printf '%s: %s\n' "$1" "$2"
    [ "$1" = ok ] || fail=1
}
