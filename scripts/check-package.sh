#!/usr/bin/env bash
# Checks a built Paperlark Debian package: its control data and contents,
# lintian, the desktop entry and AppStream metadata inside it; with
# --install (root only, on a machine without Paperlark installed) also that
# it installs, answers --version and removes every file it installed.
# Usage: scripts/check-package.sh [--install] PACKAGE.deb
set -euo pipefail

install=false
if [[ "${1:-}" == "--install" ]]; then
    install=true
    shift
fi
deb=${1:?usage: scripts/check-package.sh [--install] PACKAGE.deb}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app_id=$(sed -nE 's/^set\(PAPERLARK_APP_ID ([^)]+)\)/\1/p' "$root/CMakeLists.txt")
version=$(sed -nE 's/^project\(Paperlark VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")

failures=0
fail() {
    echo "check-package: $*" >&2
    failures=$((failures + 1))
}

# Control data.
info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == paperlark ]] || fail "package name is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "version '$(field Version)' is not $version"
depends=$(field Depends)
for dep in curl xdg-utils libqt6widgets6 libsane1 qt6-image-formats-plugins tesseract-ocr-osd; do
    grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q 'tesseract-ocr-eng' <<<"$(field Recommends)" || fail "Recommends lacks tesseract-ocr-eng"
grep -q '^ Description: ' <<<"$info" || fail "no description"

# Contents: every file a desktop installation needs.
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
expected=(
    /usr/bin/paperlark
    "/usr/share/applications/$app_id.desktop"
    "/usr/share/metainfo/$app_id.metainfo.xml"
    /usr/share/icons/hicolor/scalable/apps/paperlark.svg
    /usr/share/icons/hicolor/48x48/apps/paperlark.png
    /usr/share/icons/hicolor/64x64/apps/paperlark.png
    /usr/share/icons/hicolor/128x128/apps/paperlark.png
    /usr/share/icons/hicolor/256x256/apps/paperlark.png
    /usr/share/man/man1/paperlark.1.gz
    /usr/share/doc/paperlark/copyright
    /usr/share/doc/paperlark/changelog.gz
)
# The scanner worker the application starts, where the source tree builds one.
if [[ -d "$root/PaperlarkScanner" ]]; then
    expected+=(/usr/libexec/paperlark/paperlark-scanner)
fi
# The PDF reader the application starts for each PDF it imports.
if [[ -d "$root/PaperlarkPdfReader" ]]; then
    expected+=(/usr/libexec/paperlark/paperlark-pdf-reader)
fi
for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$contents" || fail "package lacks $path"
done

# The desktop entry and metadata as installed, and the icons' sizes.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/$app_id.desktop" ||
    fail "desktop-file-validate failed"
appstreamcli validate --strict --no-net "$unpacked/usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "appstreamcli validate --strict failed"
for size in 48 64 128 256; do
    png="$unpacked/usr/share/icons/hicolor/${size}x${size}/apps/paperlark.png"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not $size px"
done
# Each screenshot the metadata names is a picture in the repository.
for url in $(grep -oE '<image>[^<]+</image>' "$root/data/$app_id.metainfo.xml" |
    sed -E 's|<image>https://paperlark.example/([^<]+)</image>|\1|'); do
    [[ -f "$root/$url" ]] || fail "screenshot $url is not in the repository"
done
zcat "$unpacked/usr/share/man/man1/paperlark.1.gz" | grep -q "Paperlark $version" ||
    fail "the manual page does not name version $version"

echo "check-package: lintian"
lintian --fail-on error --tag-display-limit 0 --display-info "$deb" || fail "lintian reported errors"

if $install; then
    if dpkg-query -W -f='${Status}' paperlark 2>/dev/null | grep -q 'installed'; then
        fail "paperlark is already installed here; not touching it"
    else
        snapshot() {
            find /usr /etc /opt -xdev \( -name mimeinfo.cache -o -name icon-theme.cache \) -prune \
                -o -print 2>/dev/null | sort
        }
        snapshot >"$unpacked.before"
        dpkg -i "$deb" || fail "dpkg -i failed"
        for path in "${expected[@]}"; do
            [[ -e "$path" ]] || fail "$path is missing after installation"
        done
        got=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= paperlark --version) ||
            fail "paperlark --version failed"
        [[ "$got" == "Paperlark $version" ]] || fail "paperlark --version says '$got'"
        installed=$(dpkg-query -L paperlark)
        dpkg -r paperlark || fail "dpkg -r failed"
        while read -r path; do
            [[ -f "$path" || -L "$path" ]] && fail "$path is left after removal"
        done <<<"$installed"
        snapshot >"$unpacked.after"
        diff -u "$unpacked.before" "$unpacked.after" || fail "the file system differs after removal"
        rm -f "$unpacked.before" "$unpacked.after"
    fi
fi

if ((failures > 0)); then
    echo "check-package: $failures problem(s) in $deb" >&2
    exit 1
fi
echo "check-package: $deb is sound"
