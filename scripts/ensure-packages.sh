# shellcheck shell=sh
# Sourced by run.sh and test.sh: installs the Debian packages that are missing.
# apt-get runs without questions; the package lists are refreshed only when
# something is actually missing. Uses sudo when not run as root.

package_installed()
{
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

ensure_packages()
{
    missing=
    for package in "$@"; do
        package_installed "$package" || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0

    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=
    elif command -v sudo >/dev/null 2>&1; then
        as_root=sudo
    else
        echo "These packages are missing and neither root nor sudo is available:$missing" >&2
        return 1
    fi
    # shellcheck disable=SC2086 # the package list is meant to split into words
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
        $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
}

# What building the program and the simulator needs, on Qt 5 and on Qt 6.
# shellcheck disable=SC2034 # used by the scripts that source this file
build_packages="g++ cmake ninja-build qtbase5-dev qt6-base-dev libqcustomplot-dev"

# What building the Debian package and checking it needs.
# shellcheck disable=SC2034
package_packages="build-essential dpkg-dev debhelper fakeroot lintian desktop-file-utils appstream man-db"
