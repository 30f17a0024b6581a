#!/bin/sh
# Builds the Debian package without writing into the source tree or next to it:
# the tree as it is (files git knows of and new files it does not ignore) is
# copied to OUT/source, and dpkg-buildpackage leaves the .deb, .buildinfo and
# .changes in OUT (default build-package/ in the tree). Prints the path of the
# .deb. OUT is emptied first, so it must be new, empty, or an earlier OUT of
# this script: a directory that holds anything else is refused (build-package/
# in the tree is the script's own, and always taken).
# Usage: scripts/build-package.sh [OUT]
set -eu
out=$(realpath -m "${1:-$(dirname "$0")/../build-package}")
cd "$(dirname "$0")/.."
tree=$(pwd -P)
marker=.tavik-package-build

case "$tree/" in
"${out%/}"/*)
    echo "$out holds the source tree; give a directory of its own" >&2
    exit 2
    ;;
esac
if [ "$out" != "$tree/build-package" ] && [ -e "$out" ] && [ ! -e "$out/$marker" ] &&
    [ -n "$(ls -A "$out" 2>&1)" ]; then
    echo "$out holds files this script did not write; give a new or empty directory" >&2
    exit 2
fi
rm -rf "$out"
mkdir -p "$out/source"
touch "$out/$marker"

# OUT inside the tree is left out of the copy, which would otherwise take in
# the files it is writing there.
case "$out/" in
"$tree"/*) inside=${out#"$tree"/} ;;
*) inside= ;;
esac
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard -- . ${inside:+":(exclude,literal)$inside"} |
        tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$out/source"
else
    tar --exclude='./build*' --exclude=./.git --no-wildcards ${inside:+--exclude="./$inside"} -cf - . |
        tar -xf - -C "$out/source"
fi

# dpkg takes an empty word (a blank before the first option) for an invalid
# flag and warns of it at every step of the build.
case " ${DEB_BUILD_OPTIONS:-} " in
*" parallel="*) ;;
*) DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)" ;;
esac
export DEB_BUILD_OPTIONS

(cd "$out/source" && dpkg-buildpackage -b -us -uc) >"$out/build.log" 2>&1 || {
    tail -n 40 "$out/build.log" >&2
    echo "dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
ls "$out"/tavik-counter_*.deb
