#!/bin/bash
# scripts/build-package.sh as a packager calls it, on a small copy of the tree
# (the script and debian/changelog, no git) with dpkg-buildpackage replaced by a
# stand-in that writes a package named as the real one would be: where the
# package lands, and that nothing of the caller's is removed on the way.
# Usage: build-script-test.sh SOURCE_DIR
set -u
SOURCE="$1"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILURES=0

fail() {
    echo "FAIL: $*"
    FAILURES=$((FAILURES + 1))
}

TREE="$WORK/tree"
mkdir -p "$TREE/scripts" "$TREE/debian" "$WORK/bin"
cp "$SOURCE/scripts/build-package.sh" "$TREE/scripts/"
cp "$SOURCE/debian/changelog" "$TREE/debian/"
VERSION=$(dpkg-parsechangelog -l "$TREE/debian/changelog" -S Version)
DEB_NAME="tavik-counter_${VERSION#*:}_$(dpkg --print-architecture).deb"
# The stand-in also reads the build flags as dpkg-buildpackage does at each
# step, so that dpkg's complaints about DEB_BUILD_OPTIONS reach build.log.
cat >"$WORK/bin/dpkg-buildpackage" <<EOF
#!/bin/sh
echo "DEB_BUILD_OPTIONS=[\$DEB_BUILD_OPTIONS]"
dpkg-buildflags --get CFLAGS >/dev/null
echo package >../$DEB_NAME
EOF
chmod +x "$WORK/bin/dpkg-buildpackage"
export PATH="$WORK/bin:$PATH"

# build CWD ARGS...: runs the script from CWD; its output in $OUTPUT.
build() {
    local cwd="$1"
    shift
    OUTPUT=$(cd "$cwd" && "$TREE/scripts/build-package.sh" "$@" 2>&1)
}

# The default: build-package/ in the tree, whatever the caller's directory,
# which is the script's own and taken as it is.
mkdir -p "$WORK/elsewhere" "$TREE/build-package"
touch "$TREE/build-package/left-over.deb"
build "$WORK/elsewhere" || fail "default output: $OUTPUT"
[ "$OUTPUT" = "$TREE/build-package/$DEB_NAME" ] || fail "default output: printed '$OUTPUT'"

# Twice in a row into the same directory: the second replaces the first.
build "$TREE" || fail "second build: $OUTPUT"
[ "$OUTPUT" = "$TREE/build-package/$DEB_NAME" ] || fail "second build: printed '$OUTPUT'"

# A relative OUT is taken from the caller's directory, as any path on a
# command line is.
build "$WORK/elsewhere" packages || fail "relative OUT: $OUTPUT"
[ "$OUTPUT" = "$WORK/elsewhere/packages/$DEB_NAME" ] || fail "relative OUT: printed '$OUTPUT'"
[ -f "$WORK/elsewhere/packages/$DEB_NAME" ] || fail "relative OUT: no package in $WORK/elsewhere/packages"
[ ! -e "$TREE/packages" ] || fail "relative OUT: a directory packages/ appeared in the tree"

# A directory inside the tree is left out of the tree's copy.
build "$TREE" inside || fail "OUT inside the tree: $OUTPUT"
[ ! -e "$TREE/inside/source/inside" ] || fail "OUT inside the tree: copied into itself"
rm -rf "$TREE/inside"

# A directory that holds files of the caller's is refused, and they stay.
mkdir "$WORK/mine"
echo mine >"$WORK/mine/notes.txt"
build "$WORK" "$WORK/mine" && fail "OUT holding other files: accepted, printed '$OUTPUT'"
[ -f "$WORK/mine/notes.txt" ] || fail "OUT holding other files: notes.txt was removed"

# An empty directory is taken.
mkdir "$WORK/empty"
build "$WORK" "$WORK/empty" || fail "empty OUT: $OUTPUT"
[ "$OUTPUT" = "$WORK/empty/$DEB_NAME" ] || fail "empty OUT: printed '$OUTPUT'"

# The build options the build gets: the caller's, with as many parallel jobs
# as there are processors unless the caller chose; never a word dpkg warns of.
JOBS=$(nproc)
while IFS='|' read -r given expected; do
    OUTPUT=$(cd "$WORK" && env -u DEB_BUILD_OPTIONS ${given:+DEB_BUILD_OPTIONS="$given"} "$TREE/scripts/build-package.sh" "$WORK/options" 2>&1) ||
        fail "DEB_BUILD_OPTIONS '$given': $OUTPUT"
    grep -qxF "DEB_BUILD_OPTIONS=[$expected]" "$WORK/options/build.log" ||
        fail "DEB_BUILD_OPTIONS '$given': the build got $(grep '^DEB_BUILD_OPTIONS=' "$WORK/options/build.log")," \
            "expected [$expected]"
    grep -i 'warning' "$WORK/options/build.log" && fail "DEB_BUILD_OPTIONS '$given': dpkg warned"
done <<EOF
|parallel=$JOBS
nocheck|nocheck parallel=$JOBS
parallel=3 nocheck|parallel=3 nocheck
EOF

# And a directory that holds the tree itself; last, as taking it removes the
# tree.
build "$WORK" "$WORK" && fail "OUT holding the tree: accepted, printed '$OUTPUT'"
[ -f "$TREE/scripts/build-package.sh" ] || fail "OUT holding the tree: the tree was removed"

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)"
    exit 1
fi
echo "build-package.sh checked"
