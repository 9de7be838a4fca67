# shellcheck shell=bash
# What goes into the release's archives, and how they are packed so that the same files always
# give the same bytes. Sourced by scripts/release.sh, which sets version, out and SOURCE_DATE_EPOCH.

# Libraries a 64-bit Linux desktop always has, by name: the C and C++ runtimes, the OpenGL driver
# and its dispatch, X11 and Wayland, the sound servers' client libraries (PulseAudio, ALSA) and
# the system's base (D-Bus, systemd, GLib, compression, crypto). Bundled copies of these would
# fight the system's own (a GL driver or sound server of another version), so they stay out.
desktop_has='^(ld-linux|lib(c|m|dl|rt|pthread|stdc\+\+|gcc_s|z|GL|OpenGL|GLX|EGL|GLdispatch|gbm|drm|asound|asyncns|dbus-1|systemd|ffi|expat|lzma|zstd|lz4|bz2|gcrypt|gpg-error|cap|bsd|md|tinfo|xkbcommon|pcre2-8)\.so|libX|libxcb|libwayland-|libpulse|lib(glib|gobject|gmodule|gio)-2\.0\.so)'

# The info file, in PLATFORM's words (windows or linux).
info_text() { # PLATFORM
    local start needs reduce=""
    if [ "$1" = windows ]; then
        start="Double-click flimrevo.exe (flimrevo-64bit.exe is the same piece built for
64-bit Windows). Keep brumlevo.mp3 beside it: the piece plays the brumlevo.mp3 of the
folder it is started in, and runs in silence without one."
        needs="Windows with an OpenGL graphics driver and sound. Nothing to install: the
programs need no DLL that Windows lacks."
    else
        start="Run ./flimrevo in this folder, from anywhere (it finds its soundtrack and
libraries here), or open it from a file manager (\"Run\"). It needs a graphical
desktop session.
To make a video: ./flimrevo-capture -o ~/flimrevo.mp4 (run it in this folder,
where brumlevo.mp3 is; ./flimrevo-capture --help tells more). It needs ffmpeg
installed, and says so when it is missing."
        reduce=", or start the piece with
./flimrevo --reduced-flashing, which keeps them under the limit"
        needs="64-bit Linux with X11 or Wayland, OpenGL drivers and a sound server, and
glibc 2.34 or newer (Debian 12, Ubuntu 22.04, Fedora 35 and later). SDL2 and the
other libraries it may lack are in lib/."
    fi
    cat << EOF
flimrevo $version

A self-running, real-time audiovisual piece: a pulsing 10 x 10 x 10 lattice of
cubes under a moving camera, with its soundtrack, fullscreen for 92.7 seconds.
You only watch.

PHOTOSENSITIVITY WARNING: from 31.1 to 31.8 seconds the whole background
flashes red, green and blue, a new colour every 0.1 seconds (4 flashes in a
second). From 80.7 to 92.2 seconds dark cubes sweep across an orange-red
picture: up to 10 red flashes a second from 80.7 to 82.7, 83.8 to 85.9, 86.9
to 89.0 and 90.1 to 92.2 seconds. Both fail WCAG 2.3.1's limit of three
flashes a second. If you or anyone watching may be sensitive to flashing
light, do not watch those stretches$reduce.

Start: $start

End: it ends by itself after 92.7 seconds; Escape or closing the window ends it
earlier.

Needs: $needs

Source: the flimrevo repository, commit $(git rev-parse HEAD).
Its scripts/release.sh makes these downloads again, byte for byte.
EOF
}

# File times from the last commit, modes from the file's kind alone (not this machine's umask).
normalize() { # DIR
    chmod -R u=rwX,go=rX "$1"
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# A zip of the files under DIR/ENTRY, in name order, with times and no owners or extra fields.
make_zip() { # ZIP DIR ENTRY
    local zip
    zip=$(realpath "$1")
    normalize "$2/$3"
    (cd "$2" && find "$3" -type f | sed 's|^\./||' | sort | zip -q -X -9 "$zip" -@)
}

# A tar.gz of DIR/ENTRY: names sorted, owner root, one time, and no name or time in the gzip header.
make_tar() { # TARGZ DIR ENTRY
    normalize "$2/$3"
    tar -C "$2" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner \
        --format=gnu -cf - "$3" | gzip -9n > "$1"
}

# The libraries BINARIES load that a desktop may lack: "SONAME PATH" lines.
bundled_libraries() { # BINARIES...
    ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// { print $1, $3 }' | sort -u |
        grep -vE "$desktop_has" || true
}

# The Linux folder: launchers at the top, the programs in bin/, the libraries in lib/.
make_linux_folder() { # FOLDER BUILD-BIN
    local folder=$1 soname path
    mkdir -p "$folder/bin" "$folder/lib"
    cp "$2/flimrevo" "$2/flimrevo-capture" "$2/flimrevo-flashes" "$folder/bin/"
    cp "$2/brumlevo.mp3" "$folder/"
    bundled_libraries "$folder"/bin/* | while read -r soname path; do
        cp -L "$path" "$folder/lib/$soname"
    done
    cat > "$folder/flimrevo" << 'EOF'
#!/bin/sh
# Plays flimrevo from this folder, where it finds its soundtrack (brumlevo.mp3) and libraries,
# wherever it is started from (a link to it, a file manager).
here=$(dirname "$(readlink -f "$0")") && cd "$here" || exit 1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "flimrevo: no display to show the piece on (neither DISPLAY nor WAYLAND_DISPLAY is" \
        "set). Start it from a graphical desktop session." >&2
    exit 1
fi
exec ./bin/flimrevo "$@"
EOF
    cat > "$folder/flimrevo-capture" << 'EOF'
#!/bin/sh
# flimrevo-capture, in the folder it is started in: run it here, where brumlevo.mp3 is, for a
# video with sound. It needs ffmpeg on PATH for a video, and says so when there is none.
exec "$(dirname "$(readlink -f "$0")")/bin/flimrevo-capture" "$@"
EOF
    cat > "$folder/flimrevo-flashes" << 'EOF'
#!/bin/sh
# flimrevo-flashes VIDEO: counts a video's flashes as WCAG 2.3.1 does (it needs ffmpeg on PATH).
exec "$(dirname "$(readlink -f "$0")")/bin/flimrevo-flashes" "$@"
EOF
    chmod +x "$folder/flimrevo" "$folder/flimrevo-capture" "$folder/flimrevo-flashes"
    info_text linux > "$folder/README.txt"
}
