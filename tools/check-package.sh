#!/usr/bin/env bash
# Builds the packages (workflow preset "package") and checks the .deb the way a user meets it:
# installed with dpkg into a throwaway root, then run in that root (chroot, when run as root)
# from an empty folder, where it must find its font in /usr/share/vexplot and draw the picture
# the tests know. The tarball is unpacked and run from an empty folder too. Usage:
#   tools/check-package.sh            (needs dpkg; the chroot part needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
golden=8562e0e395f9d2069bf09782aa241cf7b95d09851e7fe38791395e2bbd05c95b
bitmap=3VErudadudIzad12UdidirAvorovirevEde.bmp

cmake --workflow --preset package >/dev/null
deb=$(ls build/release/packages/vexplot_*.deb)
tarball=$(ls build/release/packages/vexplot-*.tar.gz)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vexpackage-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Checks a run: status 0, a picture with the golden hash and the statistics file, nothing else.
check_run() {
    local folder=$1 status=$2
    [ "$status" -eq 0 ] || { echo "the run ended with status $status"; exit 1; }
    local hash
    hash=$(sha256sum "$folder/$bitmap" | cut -d' ' -f1)
    [ "$hash" = "$golden" ] || { echo "picture differs: $hash"; exit 1; }
    [ "$(ls -A "$folder" | sort | tr '\n' ' ')" = "$bitmap ___output_statistics.txt " ] ||
        { echo "unexpected files in $folder:"; ls -A "$folder"; exit 1; }
}

# The tarball, unpacked anywhere, run from an empty folder.
mkdir "$scratch/unpacked" "$scratch/empty"
tar -xzf "$tarball" -C "$scratch/unpacked"
status=0
(cd "$scratch/empty" && "$scratch"/unpacked/vexplot-*/bin/vexplot >/dev/null) || status=$?
check_run "$scratch/empty" "$status"
echo "tarball: runs from an empty folder, golden picture"

# A root whose package database holds only the libraries the package depends on, as installed
# here, so dpkg checks the dependencies against something real.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/work"
touch "$root/var/lib/dpkg/available"
depends=$(dpkg-deb --field "$deb" Depends | sed -E 's/ *\([^)]*\)//g; s/, */ /g')
for package in $depends; do
    dpkg-query --status "$package" >>"$root/var/lib/dpkg/status"
    echo >>"$root/var/lib/dpkg/status"
    qualified=$(dpkg-query --show --showformat='${binary:Package}' "$package")
    dpkg-query --listfiles "$package" >"$root/var/lib/dpkg/info/$qualified.list"
done
dpkg --root="$root" --install "$deb"
dpkg --root="$root" --status vexplot | grep -q '^Status: install ok installed'
echo "deb: installed in $root with its dependencies satisfied"

status=0
(cd "$root/work" && "$root/usr/bin/vexplot" >/dev/null) || status=$?
check_run "$root/work" "$status"
rm -f "$root/work"/*
echo "deb: $root/usr/bin/vexplot runs from an empty folder, golden picture"

if [ "$(id -u)" -eq 0 ] && command -v chroot >/dev/null; then
    # Inside the root the program sees only itself, its data and the libraries it links.
    for library in $(ldd "$root/usr/bin/vexplot" | grep -oE '/[^ ]+'); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
    # There is no shell in the root to change folder with: the program does it itself.
    status=0
    chroot "$root" /usr/bin/vexplot -C /work >/dev/null || status=$?
    check_run "$root/work" "$status"
    echo "deb: /usr/bin/vexplot runs inside the root (chroot), golden picture"
fi
