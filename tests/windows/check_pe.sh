#!/usr/bin/env bash
# The Windows executable's PE header, read from its bytes: the machine it is built for, a GUI
# program (subsystem 2, no console window behind the fullscreen picture), and imports from no DLL
# but those Windows itself ships, so that it runs from a folder holding only it and brumlevo.mp3.
#
# Usage: tests/windows/check_pe.sh EXE i386|x86-64
# Needs od and the mingw-w64 objdump for the machine (binutils-mingw-w64).
set -euo pipefail
exe=$1
machine=$2

. "$(dirname "$0")/common.sh"

# Unsigned little-endian integer of BYTES bytes at OFFSET.
le() { # OFFSET BYTES
    od -An -v -tu1 -j "$1" -N "$2" "$exe" |
        awk '{ for (i = 1; i <= NF; ++i) b[n++] = $i } END { v = 0; for (i = n - 1; i >= 0; --i) v = v * 256 + b[i]; print v }'
}

case $machine in
i386)
    want_machine=$((0x014c)) want_magic=$((0x010b)) triple=i686-w64-mingw32 ;;
x86-64)
    want_machine=$((0x8664)) want_magic=$((0x020b)) triple=x86_64-w64-mingw32 ;;
*)
    echo "usage: $0 EXE i386|x86-64" >&2
    exit 2
    ;;
esac

[ -f "$exe" ] || {
    report FAIL "$exe does not exist"
    exit 1
}
name=$(basename "$exe")

# DOS header: "MZ", and at 0x3c the offset of the "PE\0\0" signature; the file header follows it
# (machine at +4) and the optional header follows that (magic at +24, subsystem at +24+68, the
# same place in PE32 and PE32+).
if [ "$(le 0 2)" -ne $((0x5a4d)) ]; then
    report FAIL "$name: no MZ header"
    exit 1
fi
pe=$(le $((0x3c)) 4)
if [ "$(le "$pe" 4)" -ne $((0x00004550)) ]; then
    report FAIL "$name: no PE signature at $pe"
    exit 1
fi
got_machine=$(le $((pe + 4)) 2)
got_magic=$(le $((pe + 24)) 2)
got_subsystem=$(le $((pe + 24 + 68)) 2)
if [ "$got_machine" -eq "$want_machine" ] && [ "$got_magic" -eq "$want_magic" ]; then
    report ok "$name: machine $machine (0x$(printf %04x "$got_machine")), optional header 0x$(printf %03x "$got_magic")"
else
    report FAIL "$name: machine 0x$(printf %04x "$got_machine"), magic 0x$(printf %03x "$got_magic"); want $machine (0x$(printf %04x "$want_machine"), 0x$(printf %03x "$want_magic"))"
fi
if [ "$got_subsystem" -eq 2 ]; then
    report ok "$name: subsystem 2 (Windows GUI)"
else
    report FAIL "$name: subsystem $got_subsystem, want 2 (Windows GUI)"
fi

# The imports, by the objdump of the same machine; names compare without case, as Windows does.
system_dlls=" kernel32.dll user32.dll gdi32.dll opengl32.dll glu32.dll winmm.dll msacm32.dll msvcrt.dll "
dlls=$("$triple-objdump" -p "$exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | tr '\n' ' ')
if [ -z "${dlls// /}" ]; then
    report FAIL "$name: objdump found no imports"
fi
others=""
for dll in $dlls; do
    case $system_dlls in
    *" $dll "*) ;;
    *) others="$others $dll" ;;
    esac
done
if [ -n "${dlls// /}" ] && [ -z "$others" ]; then
    report ok "$name: imports only system DLLs (${dlls% })"
elif [ -n "$others" ]; then
    report FAIL "$name: imports DLLs Windows does not ship:$others"
fi
for dll in opengl32.dll glu32.dll winmm.dll msacm32.dll; do
    case " $dlls" in
    *" $dll "*) ;;
    *) report FAIL "$name: does not import $dll (linked against something else?)" ;;
    esac
done
exit $fail
