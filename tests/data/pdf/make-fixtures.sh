#!/usr/bin/env bash
# Makes the small PDFs the PDF import tests read, with the tools other
# software uses (Debian 12: img2pdf, imagemagick, qpdf, ghostscript,
# ocrmypdf). Run by hand when a fixture is to change; the files are
# committed, so the tests need none of these tools.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A colour page with structure, so that turns and mirrors can be told apart.
convert -size 200x260 gradient:'#3060c0-#f0d080' \
    -fill '#c02020' -draw 'rectangle 20,20 90,60' \
    -fill '#20a040' -draw 'circle 150,200 170,220' \
    -density 150 -units PixelsPerInch -quality 90 -sampling-factor 2x2 "$work/colour.jpg"
cp "$work/colour.jpg" colour.jpg
convert "$work/colour.jpg" "$work/colour.png"
cp "$work/colour.png" colour.png
# Black and white, and 16-bit grey.
convert -size 200x260 xc:white -fill black -draw 'rectangle 20,20 90,60' \
    -draw 'circle 150,200 170,220' -monochrome -density 200 -units PixelsPerInch "$work/mono.png"

# img2pdf: the JPEG's bytes as they are, on a page of its size at 150 dpi;
# and the same turned a quarter clockwise by the page's /Rotate.
img2pdf --producer img2pdf "$work/colour.jpg" -o img2pdf-jpeg.pdf
img2pdf --producer img2pdf --rotation=90 "$work/colour.jpg" -o img2pdf-rotate90.pdf
# img2pdf with a palette PNG: an Indexed colour space over Flate.
convert "$work/colour.png" -colors 16 -type Palette PNG8:"$work/palette.png"
img2pdf --producer img2pdf "$work/palette.png" -o img2pdf-indexed.pdf
convert "$work/palette.png" palette.png

# img2pdf with a 16-bit PNG: 16 bits per component, Flate with PNG predictors.
convert "$work/colour.png" -depth 16 -density 150 -units PixelsPerInch PNG48:"$work/colour16.png"
img2pdf --producer img2pdf "$work/colour16.png" -o img2pdf-rgb16.pdf

# img2pdf with a JPEG 2000 file (lossless): JPXDecode.
convert "$work/colour.png" -define jp2:rate=1 -density 150 -units PixelsPerInch "$work/colour.jp2"
img2pdf --producer img2pdf "$work/colour.jp2" -o img2pdf-jpx.pdf

# ImageMagick (through its PDF/A writer: Debian's policy forbids the plain
# PDF one, which writes pages the same way): CCITT G4, Flate RGB, CMYK.
convert "$work/mono.png" -density 200 -units PixelsPerInch -compress Group4 PDFA:imagemagick-g4.pdf
cp "$work/mono.png" mono.png
convert "$work/colour.png" -density 150 -units PixelsPerInch -compress zip PDFA:imagemagick-flate.pdf
convert "$work/colour.png" -colorspace CMYK -density 150 -units PixelsPerInch -compress zip \
    PDFA:imagemagick-cmyk.pdf
# img2pdf with an Adobe CMYK JPEG: DeviceCMYK with an inverting Decode array.
convert "$work/colour.png" -colorspace CMYK -density 150 -units PixelsPerInch -quality 90 \
    "$work/cmyk.jpg"
img2pdf --producer img2pdf "$work/cmyk.jpg" -o img2pdf-cmyk-jpeg.pdf

# qpdf: three of the above in one file, one of them encrypted with a user
# password, one with an owner password only; and a file without pages.
qpdf --empty --pages img2pdf-jpeg.pdf imagemagick-g4.pdf img2pdf-rotate90.pdf -- qpdf-merged.pdf
qpdf --encrypt secret owner 256 -- img2pdf-jpeg.pdf qpdf-encrypted.pdf
qpdf --encrypt "" owner 256 --print=none -- img2pdf-jpeg.pdf qpdf-owner-only.pdf
qpdf --empty qpdf-empty.pdf

# Ghostscript: a page of text, as office programs make them (fonts, no
# image), with a bar of colour.
cat > "$work/text.ps" <<'PS'
%!PS
<< /PageSize [298 421] >> setpagedevice
/Helvetica findfont 14 scalefont setfont
40 360 moveto (Paperlark imports PDF pages.) show
40 330 moveto (This page is text, drawn as text.) show
0.2 0.4 0.8 setrgbcolor 40 250 200 40 rectfill
showpage
PS
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o ghostscript-text.pdf "$work/text.ps"

# ocrmypdf: a scanned page of text with its recognised text laid over it
# invisibly.
convert -size 900x300 xc:white -font DejaVu-Sans -pointsize 40 -fill black \
    -annotate +40+120 'Invisible words here' -annotate +40+220 'Second line of text' \
    -density 150 -units PixelsPerInch -type Grayscale -quality 85 "$work/scan.jpg"
img2pdf --producer img2pdf "$work/scan.jpg" -o "$work/scan.pdf"
ocrmypdf --quiet --output-type pdf --optimize 0 -l eng "$work/scan.pdf" ocrmypdf.pdf

# Damaged: a PDF cut off after its first kilobyte's header, and junk.
head -c 300 imagemagick-flate.pdf > damaged-truncated.pdf
printf '%%PDF-1.7\nnot a PDF at all\n' > damaged-junk.pdf
