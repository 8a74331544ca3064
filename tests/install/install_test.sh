#!/bin/sh
# Installs the build tree into a staging folder and runs the installed program
# from another folder: it finds its pack through ../share/velmora, checks it and
# renders frames; with the pack gone it names every place it looked, and a
# missing --data folder is named as such.
# Usage: install_test.sh BUILD_DIR
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /opt/velmora >"$stage/install.log"
root="$stage/opt/velmora"
for file in bin/velmora share/velmora/cam.dat share/velmora/velmora5.mp3 share/velmora/data/Cathedral/cathedral.x \
    share/applications/org.velmora.Velmora.desktop share/metainfo/org.velmora.Velmora.metainfo.xml \
    share/icons/hicolor/256x256/apps/velmora.png share/man/man6/velmora.6.gz share/velmora/slurm/velmora-capture.sbatch; do
  [ -s "$root/$file" ] || [ -d "$root/$file" ] || fail "$file is not installed"
done
# Tests, tools and benchmarks stay in the build tree.
[ "$(ls "$root/bin")" = velmora ] || fail "bin/ holds more than the program: $(ls "$root/bin" | tr '\n' ' ')"

cd "$stage"
"$root/bin/velmora" --check >"$stage/check.txt" 2>&1 || fail "the installed pack does not pass --check: $(tail -1 "$stage/check.txt")"
grep -qx "content folder: $root/share/velmora" "$stage/check.txt" || fail "--check read $(head -1 "$stage/check.txt")"
"$root/bin/velmora" --capture "$stage/frames/" --seconds 1 --fps 2 2>"$stage/stderr.txt" || fail "$(cat "$stage/stderr.txt")"
[ "$(ls "$stage/frames")" = "$(printf 'frame_000000.png\nframe_000001.png')" ] || fail "frames: $(ls "$stage/frames")"

mv "$root/share/velmora" "$root/share/elsewhere"
if "$root/bin/velmora" --capture "$stage/more/" --seconds 1 2>"$stage/stderr.txt"; then fail "ran without its pack"; fi
[ "$(wc -l <"$stage/stderr.txt")" -eq 1 ] || fail "more than one line without a pack: $(cat "$stage/stderr.txt")"
grep -qF "$root/bin, $root/share/velmora" "$stage/stderr.txt" || fail "not every place named: $(cat "$stage/stderr.txt")"

# A --data folder that is not there is named as the missing folder.
if "$root/bin/velmora" --data "$stage/nowhere" --capture "$stage/more/" 2>"$stage/stderr.txt"; then fail "ran without content"; fi
[ "$(cat "$stage/stderr.txt")" = "velmora: content folder $stage/nowhere does not exist" ] ||
  fail "a missing --data folder reported as: $(cat "$stage/stderr.txt")"
