#!/bin/sh
# Builds the Debian package without writing into the source tree or next to it:
# the tree as it is (files git knows of and new files it does not ignore) is
# copied to OUT/source, and dpkg-buildpackage leaves the .deb, .buildinfo and
# .changes in OUT (default build-package/). Prints the path of the .deb.
# Usage: scripts/build-package.sh [OUT]
set -eu
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build-package}")
rm -rf "$out"
mkdir -p "$out/source"

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$out/source"
else
    tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$out/source"
fi

case " ${DEB_BUILD_OPTIONS:-} " in
*" parallel="*) ;;
*) DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-} parallel=$(nproc)" ;;
esac
export DEB_BUILD_OPTIONS

(cd "$out/source" && dpkg-buildpackage -b -us -uc) >"$out/build.log" 2>&1 || {
    tail -n 40 "$out/build.log" >&2
    echo "dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
ls "$out"/tavik-counter_*.deb
