#!/usr/bin/python3
"""Writes corpus/: damaged and odd PDFs for the reader's corpus replay (and
seeds for fuzzing it). Deterministic; run by hand when the corpus is to
change."""
import random
import zlib
from pathlib import Path

here = Path(__file__).resolve().parent
out = here / "corpus"
out.mkdir(exist_ok=True)
rng = random.Random(28)


def pdf(objects, root=1):
    """A PDF with a correct cross-reference table from (number, body) pairs."""
    data = bytearray(b"%PDF-1.7\n")
    offsets = {}
    for number, body in objects:
        offsets[number] = len(data)
        data += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(data)
    count = max(offsets) + 1
    data += b"xref\n0 %d\n0000000000 65535 f \n" % count
    for number in range(1, count):
        data += b"%010d 00000 n \n" % offsets.get(number, 0)
    data += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (count, root, xref)
    return bytes(data)


def stream(dictionary, payload):
    return b"<< " + dictionary + b" /Length %d >>\nstream\n" % len(payload) + payload + b"\nendstream"


def page(content, resources=b"<< >>", extra=b""):
    return [
        (1, b"<< /Type /Catalog /Pages 2 0 R >>"),
        (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
        (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Resources "
            + resources + b" /Contents 4 0 R " + extra + b">>"),
        (4, stream(b"", content)),
    ]


image_resources = b"<< /XObject << /Im0 5 0 R >> >>"
draw = b"q 100 0 0 100 0 0 cm /Im0 Do Q"
cases = {
    # An image whose Flate data inflates far beyond its size.
    "flate-bomb.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 10 /Height 10 /ColorSpace /DeviceGray "
                   b"/BitsPerComponent 8 /Filter /FlateDecode", zlib.compress(bytes(64 << 20), 9)))],
    # Sizes and parameters that do not fit the data.
    "image-huge-claim.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 2000000000 /Height 2000000000 "
                   b"/ColorSpace /DeviceRGB /BitsPerComponent 8", b"\x00" * 30))],
    "image-short-data.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 "
                   b"/ColorSpace /DeviceRGB /BitsPerComponent 8", b"\x80" * 100))],
    "image-odd-bits.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 "
                   b"/ColorSpace /DeviceGray /BitsPerComponent 7", b"\x80" * 10000))],
    "indexed-short-table.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 10 /Height 10 "
                   b"/ColorSpace [/Indexed /DeviceRGB 255 <00ff00>] /BitsPerComponent 8 "
                   b"/Decode [255 -40]", bytes(range(100))))],
    "fax-garbage.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceGray "
                   b"/BitsPerComponent 1 /Filter /CCITTFaxDecode "
                   b"/DecodeParms << /K -1 /Columns 100 /Rows 100 >>",
                   bytes(rng.randrange(256) for _ in range(300))))],
    "jbig2-garbage.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceGray "
                   b"/BitsPerComponent 1 /Filter /JBIG2Decode",
                   b"\x00\x00\x00\x00\x30\x00\x01\x00\x00\x00\x13" + bytes(rng.randrange(256) for _ in range(200))))],
    "jpx-garbage.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 /Filter /JPXDecode",
                   b"\xff\x4f\xff\x51" + bytes(rng.randrange(256) for _ in range(400))))],
    "dct-garbage.pdf": page(draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 /ColorSpace /DeviceRGB "
                   b"/BitsPerComponent 8 /Filter /DCTDecode",
                   b"\xff\xd8\xff\xe0" + bytes(rng.randrange(256) for _ in range(400)) + b"\xff\xd9"))],
    # A form that draws itself, and deep nesting of the graphics state.
    "form-recursion.pdf": page(b"/F0 Do", b"<< /XObject << /F0 5 0 R >> >>") + [
        (5, stream(b"/Type /XObject /Subtype /Form /BBox [0 0 100 100] "
                   b"/Resources << /XObject << /F0 5 0 R >> >>", b"/F0 Do"))],
    "deep-state.pdf": page(b"q " * 200000 + draw, image_resources) + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                   b"/BitsPerComponent 8", b"\x00"))],
    # Page boxes and turns that make no sense.
    "odd-boxes.pdf": page(draw, image_resources, b"/Rotate 45 /CropBox [50 50 50 50] ") + [
        (5, stream(b"/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
                   b"/BitsPerComponent 8", b"\x00"))],
    "page-tree-loop.pdf": [
        (1, b"<< /Type /Catalog /Pages 2 0 R >>"),
        (2, b"<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 2 >>"),
        (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1e30 -1e30] >>"),
    ],
}
for name, objects in cases.items():
    (out / name).write_bytes(pdf(objects))

# The import tests' files, cut short and with bytes changed.
for source in sorted(here.glob("*.pdf")):
    if source.name.startswith("damaged"):
        continue
    data = source.read_bytes()
    cut = data[: rng.randrange(len(data) // 3, len(data) - 1)]
    (out / ("cut-" + source.name)).write_bytes(cut)
    flipped = bytearray(data)
    for _ in range(12):
        flipped[rng.randrange(len(flipped))] = rng.randrange(256)
    (out / ("flipped-" + source.name)).write_bytes(bytes(flipped))
