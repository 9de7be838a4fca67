#!/usr/bin/env bash
# Makes the downloads of a release in dist/, from fresh builds in build-release/:
#   flimrevo-VERSION-windows.zip       flimrevo.exe (32-bit), flimrevo-64bit.exe, brumlevo.mp3,
#                                      README.txt
#   flimrevo-VERSION-linux-x86_64.tar.gz  a folder that runs with ./flimrevo without SDL2 installed
#   flimrevo-VERSION-web.zip           the static site, index.html at the top
#   flimrevo-VERSION-1080p60.mp4       the video (flimrevo-capture --preset party-1080p)
#   SHA256SUMS
# VERSION is the commit's tag, else its short hash (with -dirty when tracked files are changed).
# The same commit gives the same bytes wherever and whenever it is built: file times come from the
# last commit (SOURCE_DATE_EPOCH), entries are sorted, owners fixed, and the builds hold no paths
# of the machine or dates (PE timestamps included).
#
# Usage: scripts/release.sh              (the video takes most of it: 8 minutes of processor time)
#        scripts/release.sh --no-video   all but the video (quicker, to try the rest)
#        scripts/release.sh --check      builds the commit twice, in two clones at different
#                                        paths, and compares their SHA256SUMS (twice as long)
#        scripts/release.sh --check --no-video
#                                        after --no-video here: builds the commit once more,
#                                        without the video, in a clone at another path, and
#                                        compares its SHA256SUMS with dist/'s
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

video=--video
[ "${2:-}" = --no-video ] && video=--no-video
if [ "${1:-}" = --check ]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/flimrevo-check.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    commit=$(git rev-parse HEAD)
    clones=("$work/one" "$work/two/elsewhere")
    sums=("$work/one/dist/SHA256SUMS" "$work/two/elsewhere/dist/SHA256SUMS")
    if [ "$video" = --no-video ]; then
        # The other build is this checkout's own dist/, which must be of this commit, unchanged.
        git diff --quiet HEAD -- || { echo "--check --no-video: commit the changes first" >&2; exit 1; }
        [ -f dist/SHA256SUMS ] || { echo "--check --no-video: run --no-video first" >&2; exit 1; }
        clones=("$work/elsewhere/flimrevo")
        sums=("$root/dist/SHA256SUMS" "$work/elsewhere/flimrevo/dist/SHA256SUMS")
    fi
    for clone in "${clones[@]}"; do
        git clone -q --no-checkout "$root" "$clone"
        git -C "$clone" checkout -q --detach "$commit"
        echo "== building $commit in $clone"
        "$clone/scripts/release.sh" $video > "$clone.log" 2>&1 || { tail -30 "$clone.log"; exit 1; }
    done
    if diff "${sums[@]}"; then
        echo "Reproducible: both builds made the same files:"
        cat "${sums[0]}"
        exit 0
    fi
    echo "NOT reproducible: the lines above differ" >&2
    exit 1
fi

scripts/install-deps.sh --release
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
umask 022
version=$(git describe --tags --exact-match 2> /dev/null || git rev-parse --short=12 HEAD)
git diff --quiet HEAD -- || version+=-dirty
out=$root/build-release
rm -rf "$out" dist
mkdir -p "$out/stage" dist
step() { printf '== %s (%d s)\n' "$*" "$SECONDS"; }

# No path of this machine in the binaries: sources and build folders are named from the top.
map="-ffile-prefix-map=$root/=./"
build() { # DIR TARGETS CMAKE-ARGS...
    local dir=$out/$1 targets=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$map" \
        -DCMAKE_CXX_FLAGS="$map" "$@" > "$dir.log" 2>&1 &&
        cmake --build "$dir" -j"$jobs" --target $targets >> "$dir.log" 2>&1 ||
        { tail -40 "$dir.log" && return 1; }
}

step "Linux build"
# The executables look for libraries in ../lib beside them first (DT_RPATH, which unlike
# RUNPATH also serves the libraries' own dependencies).
build linux "flimrevo flimrevo-capture flimrevo-flashes soundtrack" -DFLIMREVO_TESTS=OFF -DFLIMREVO_BENCH=OFF \
    -DCMAKE_BUILD_RPATH='$ORIGIN/../lib' -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--disable-new-dtags"
soundtrack=$out/linux/bin/brumlevo.mp3

for arch in i686 x86_64; do
    step "Windows $arch build"
    build "windows-$arch" flimrevo -DFLIMREVO_SOUNDTRACK="$soundtrack" \
        -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch-w64-mingw32.cmake" \
        -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--no-insert-timestamp"
done

step "Web build"
export NODE_PATH=/usr/share/nodejs # where Debian's emscripten keeps its JavaScript modules
emcmake cmake -S . -B "$out/web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$map" \
    -DCMAKE_CXX_FLAGS="$map" -DFLIMREVO_SOUNDTRACK="$soundtrack" > "$out/web.log" 2>&1 &&
    cmake --build "$out/web" -j"$jobs" >> "$out/web.log" 2>&1 || { tail -40 "$out/web.log" && exit 1; }

. "$root/scripts/release/contents.sh"

step "Windows zip"
windows=$out/stage/flimrevo-$version-windows
mkdir -p "$windows"
cp "$out/windows-i686/bin/flimrevo.exe" "$windows/flimrevo.exe"
cp "$out/windows-x86_64/bin/flimrevo.exe" "$windows/flimrevo-64bit.exe"
cp "$soundtrack" "$windows/"
info_text windows | sed 's/$/\r/' > "$windows/README.txt" # Notepad's line ends
make_zip "dist/flimrevo-$version-windows.zip" "$out/stage" "$(basename "$windows")"

step "Linux folder"
linux=$out/stage/flimrevo-$version-linux-x86_64
make_linux_folder "$linux" "$out/linux/bin"
make_tar "dist/flimrevo-$version-linux-x86_64.tar.gz" "$out/stage" "$(basename "$linux")"

step "Web zip"
web=$out/stage/web
mkdir -p "$web"
cp "$out"/web/bin/{index.html,page.js,flimrevo.js,flimrevo.wasm,brumlevo.mp3,sw.js,manifest.webmanifest,icon-192.png,icon-512.png} "$web/"
make_zip "dist/flimrevo-$version-web.zip" "$web" .

if [ "${1:-}" != --no-video ]; then
step "Video"
(cd "$out/linux/bin" && ./flimrevo-capture --preset party-1080p \
    -o "$root/dist/flimrevo-$version-1080p60.mp4" 2> "$out/video.log") ||
    { tail -5 "$out/video.log" && exit 1; }
fi

(cd dist && sha256sum -- *.zip *.tar.gz $(ls *.mp4 2> /dev/null) > SHA256SUMS)
step "Done: dist/"
ls -l dist
