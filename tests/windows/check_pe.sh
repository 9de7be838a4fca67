#!/usr/bin/env bash
# The Windows executable's PE header, as the mingw-w64 objdump of its machine reads it: built for
# that machine, a GUI program (subsystem 2, no console window behind the fullscreen picture), and
# importing from no DLL but those Windows itself ships, so that it runs from a folder holding only
# it and brumlevo.mp3.
#
# Usage: tests/windows/check_pe.sh EXE i386|x86-64     (needs binutils-mingw-w64)
set -euo pipefail
. "$(dirname "$0")/common.sh"
case $2 in
i386) triple=i686-w64-mingw32 format=pei-i386 magic=010b ;;
x86-64) triple=x86_64-w64-mingw32 format=pei-x86-64 magic=020b ;;
*) echo "usage: $0 EXE i386|x86-64" >&2 && exit 2 ;;
esac
name=$(basename "$1")
headers=$("$triple-objdump" -p "$1" 2>&1) || { report FAIL "$name: $headers" && exit 1; }
grep -q "file format $format\$" <<< "$headers" && grep -qE "^Magic\s+$magic" <<< "$headers" &&
    report ok "$name: $format, optional header magic $magic" ||
    report FAIL "$name: not $format with optional header magic $magic"
grep -qE '^Subsystem\s+00000002' <<< "$headers" && report ok "$name: subsystem 2 (Windows GUI)" ||
    report FAIL "$name: $(grep -E '^Subsystem' <<< "$headers"), want 2 (Windows GUI)"
# Names compare without case, as Windows does; the four that the piece needs must be among them.
dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<< "$headers" | sort -u | tr '\n' ' ')
others=$(tr ' ' '\n' <<< "$dlls" |
    grep -vxE '(kernel32|user32|gdi32|opengl32|glu32|winmm|msacm32|msvcrt)\.dll|' || true)
missing=$(printf '%s\n' opengl32.dll glu32.dll winmm.dll msacm32.dll | grep -vxF -f <(tr ' ' '\n' <<< "$dlls") || true)
[ -z "$others$missing" ] && report ok "$name: imports only system DLLs ($dlls)" ||
    report FAIL "$name: imports DLLs Windows does not ship: ${others:-none}; lacks: ${missing:-none}"
exit $fail
