#!/usr/bin/env python3
"""make demo's report in a real browser: headless Chromium opens
index.html, which must show one section per example with every printed page
loaded (pixels of printed pages, not broken-image icons). Skipped (77) where
Chromium or a PCL XL interpreter is missing.

browser_test.py BUILD SOURCE"""
import os, re, shutil, struct, subprocess, sys, tempfile, zlib

SKIP = 77


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def browse(browser, url, *options):
    args = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
            "--virtual-time-budget=20000", *options, url]
    return subprocess.run(args, capture_output=True, text=True, timeout=180)


def png_pixels(path):
    """(width, height, rows of RGB tuples) of an 8-bit, non-interlaced PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and color in (2, 6), "unexpected PNG format"
            channels = 3 if color == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if kind == 1: line[i] = (line[i] + a) & 255
            elif kind == 2: line[i] = (line[i] + b) & 255
            elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * channels:x * channels + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def main():
    build, source = sys.argv[1], sys.argv[2]
    browser = chromium()
    if not browser:
        print("SKIPPED: no Chromium (make setup installs it); the report is not opened in a browser")
        return SKIP
    out = tempfile.mkdtemp(prefix="kqxl-browser-")
    try:
        subprocess.run(["bash", "tools/demo.sh", build, out], cwd=source, check=True, capture_output=True)
        html = open(os.path.join(out, "index.html"), encoding="utf-8").read()
        if "Pages printed on" not in html:
            print("SKIPPED: no PCL XL interpreter, so the report has no pages to load")
            return SKIP
        url = "file://" + os.path.join(out, "index.html")
        dom = browse(browser, url, "--dump-dom").stdout
        examples = sorted(f[:-4] for f in os.listdir(os.path.join(source, "examples")) if f.endswith(".job"))
        sections = re.findall(r'<section class="script" id="([^"]+)"', dom)
        assert sections == examples, f"sections {sections}, examples {examples}"
        pages = re.search(r'data-pages="(\d+)"', dom)
        shown = re.search(r'data-shown="(\d+)"', dom)
        assert pages and shown, "the page's load script did not run"
        assert int(pages.group(1)) > 50 and shown.group(1) == pages.group(1), \
            f"{shown.group(1)} of {pages.group(1)} printed pages shown"
        shot = os.path.join(out, "shot.png")
        browse(browser, url, "--window-size=1280,1600", f"--screenshot={shot}")
        width, height, rows = png_pixels(shot)
        grey = sum(1 for row in rows for (r, g, b) in row if 90 <= r <= 170 and abs(r - g) < 8 and abs(g - b) < 8)
        assert grey > 2000, f"only {grey} grey pixels: the printed pages did not show"
        print(f"browser: {len(sections)} sections, {shown.group(1)} pages shown, {grey} grey pixels")
        return 0
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
