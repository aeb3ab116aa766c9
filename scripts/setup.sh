#!/usr/bin/env bash
# Installs the Debian packages Paperlark needs. Idempotent: only missing
# packages are installed. Usage: scripts/setup.sh [--test]
set -euo pipefail

build_packages=(
    cmake ninja-build g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-svg-dev libgl-dev
    libsane-dev libsane1 libicu-dev libsecret-1-dev libpng-dev libjpeg-dev libtiff-dev zlib1g-dev libdeflate-dev
    libqpdf-dev libtesseract-dev libleptonica-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-osd
    libpoppler-qt6-dev libopenjp2-7-dev libjbig2dec0-dev
    curl xdg-utils fonts-dejavu-core
)
test_packages=(
    xvfb xauth dbus dbus-x11 gnome-keyring libsecret-tools
    python3-aiosmtpd sane-utils poppler-utils qpdf mupdf-tools imagemagick openssl ca-certificates
    dpkg-dev file lintian appstream desktop-file-utils
    clang libclang-rt-dev
    fonts-noto-mono fonts-noto-core fonts-liberation2 fonts-urw-base35
)

wanted=("${build_packages[@]}")
if [[ "${1:-}" == "--test" ]]; then
    wanted+=("${test_packages[@]}")
fi

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    as_root=()
else
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
