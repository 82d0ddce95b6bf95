#!/usr/bin/env python3
"""plot.py RESULTS_TSV OUT_DIR

Draws the two pictures of bench/compare.sh from its results.tsv: size against extraction speed
(size-vs-extract.png) and size against packing speed (size-vs-pack.png), one panel per tree, every
tool and level a labelled point; speeds on a logarithmic axis. Writes SVG and turns it into PNG with
ImageMagick's convert. Only the standard library.
"""
import csv
import math
import subprocess
import sys
from pathlib import Path

PANEL_W, PANEL_H = 440, 520
MARGIN_L, MARGIN_R, MARGIN_T, MARGIN_B = 58, 16, 44, 48
FONT = "DejaVu Sans, Arial, sans-serif"


def colour(tool):
    if tool.startswith("zor"):
        return "#c0392b"
    if tool.endswith("m"):  # the 1 MiB peers
        return "#2471a3"
    return "#555555"


def short(label):
    return (label.replace("tar + ", "").replace(" (-9 archive)", "").replace(", 1 MiB dict", " 1M")
            .replace(", 1 MiB window", " 1M").replace(" -md=1m", " 1M").replace(" / unzip", ""))


def nice_ticks(lo, hi, log):
    if log:
        ticks = []
        for e in range(math.floor(math.log10(lo)), math.ceil(math.log10(hi)) + 1):
            for m in (1, 2, 5):
                v = m * 10 ** e
                if lo <= v <= hi:
                    ticks.append(v)
        return ticks
    span = hi - lo
    step = 10 ** math.floor(math.log10(span / 4))
    for m in (1, 2, 5, 10):
        if span / (m * step) <= 6:
            step *= m
            break
    v = math.ceil(lo / step) * step
    ticks = []
    while v <= hi + 1e-9:
        ticks.append(round(v, 6))
        v += step
    return ticks


def panel(tree, rows, key, x0, title):
    pts = [(float(r[key]), float(r["percent"]), r) for r in rows if r[key] not in ("-", "")]
    if not pts:
        return ""
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    xlo, xhi = min(xs) / 1.4, max(xs) * 1.6
    # Sizes far above the best (zip, bzip2) would squeeze the rest: they sit on the top edge, marked.
    ylo, yhi = min(ys), min(max(ys), min(ys) * 1.45)
    pad = (yhi - ylo) * 0.08 or 1
    ylo, yhi = ylo - pad, yhi + pad
    top = yhi - pad / 2
    w = PANEL_W - MARGIN_L - MARGIN_R
    h = PANEL_H - MARGIN_T - MARGIN_B

    def sx(v):
        return x0 + MARGIN_L + w * (math.log(v) - math.log(xlo)) / (math.log(xhi) - math.log(xlo))

    def sy(v):
        return MARGIN_T + h * (1 - (v - ylo) / (yhi - ylo))

    out = [f'<text x="{x0 + PANEL_W / 2}" y="22" font-size="15" font-weight="bold" text-anchor="middle">{tree}</text>',
           f'<rect x="{x0 + MARGIN_L}" y="{MARGIN_T}" width="{w}" height="{h}" fill="none" stroke="#999"/>']
    for v in nice_ticks(xlo, xhi, True):
        x = sx(v)
        out.append(f'<line x1="{x:.1f}" y1="{MARGIN_T}" x2="{x:.1f}" y2="{MARGIN_T + h}" stroke="#eee"/>')
        out.append(f'<text x="{x:.1f}" y="{MARGIN_T + h + 15}" font-size="11" text-anchor="middle">{v:g}</text>')
    for v in nice_ticks(ylo, yhi, False):
        y = sy(v)
        out.append(f'<line x1="{x0 + MARGIN_L}" y1="{y:.1f}" x2="{x0 + MARGIN_L + w}" y2="{y:.1f}" stroke="#eee"/>')
        out.append(f'<text x="{x0 + MARGIN_L - 5}" y="{y + 4:.1f}" font-size="11" text-anchor="end">{v:g}</text>')
    out.append(f'<text x="{x0 + MARGIN_L + w / 2}" y="{PANEL_H - 12}" font-size="12" text-anchor="middle">{title}</text>')
    out.append(f'<text x="{x0 + 16}" y="{MARGIN_T + h / 2}" font-size="12" text-anchor="middle" '
               f'transform="rotate(-90 {x0 + 16} {MARGIN_T + h / 2})">size, % of the original (lower is better)</text>')
    # Each label goes to the first place near its point (right, then left, then further up or down) that
    # overlaps no other label or point and stays inside the panel.
    boxes = [(sx(x) - 4, sy(min(y, top)) - 4, 8, 8) for x, y, _ in pts]
    left_edge, right_edge = x0 + MARGIN_L, x0 + MARGIN_L + w

    def free(bx, by, bw, bh):
        if bx < left_edge + 2 or bx + bw > right_edge - 2 or by < MARGIN_T + 2 or by + bh > MARGIN_T + h - 2:
            return False
        return all(bx >= ox + ow or ox >= bx + bw or by >= oy + oh or oy >= by + bh for ox, oy, ow, oh in boxes)

    for x, y, r in sorted(pts, key=lambda p: p[1]):
        clipped = y > top
        px, py = sx(x), sy(min(y, top))
        text = short(r["label"]) + (f" ({y:.1f} %)" if clipped else "")
        tw, th = 6.0 * len(text), 12
        spot = None
        for dy in (0, -13, 13, -26, 26, -39, 39, -52, 52, -65, 65):
            for right in (True, False):
                lx = px + 7 if right else px - 7 - tw
                if free(lx, py + dy - th / 2, tw, th):
                    spot = (lx, py + dy, right)
                    break
            if spot:
                break
        if not spot:
            spot = (px + 7, py, True)
        lx, ly, right = spot
        boxes.append((lx, ly - th / 2, tw, th))
        c = colour(r["tool"])
        if clipped:
            out.append(f'<polygon points="{px - 5:.1f},{py + 4:.1f} {px + 5:.1f},{py + 4:.1f} {px:.1f},{py - 5:.1f}" '
                       f'fill="{c}"/>')
        else:
            out.append(f'<circle cx="{px:.1f}" cy="{py:.1f}" r="4" fill="{c}"/>')
        if abs(ly - py) > 6:
            out.append(f'<line x1="{px:.1f}" y1="{py:.1f}" x2="{lx + (0 if right else tw):.1f}" y2="{ly:.1f}" '
                       f'stroke="{c}" stroke-width="0.6"/>')
        out.append(f'<text x="{lx:.1f}" y="{ly + 4:.1f}" font-size="11" fill="{c}">{text}</text>')
    return "\n".join(out)


def draw(rows_by_tree, key, title, path):
    trees = list(rows_by_tree)
    width = PANEL_W * len(trees)
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{PANEL_H}" font-family="{FONT}">',
             f'<rect width="{width}" height="{PANEL_H}" fill="white"/>']
    for i, t in enumerate(trees):
        parts.append(panel(t, rows_by_tree[t], key, i * PANEL_W, title))
    parts.append("</svg>")
    svg = path.with_suffix(".svg")
    svg.write_text("\n".join(parts))
    subprocess.run(["convert", "-density", "110", str(svg), str(path)], check=True)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    rows_by_tree = {}
    with open(sys.argv[1], newline="") as f:
        for r in csv.DictReader(f, delimiter="\t"):
            rows_by_tree.setdefault(r["tree"], []).append(r)
    out = Path(sys.argv[2])
    draw(rows_by_tree, "extract_mbs", "extraction, MB/s of original data (log scale; right is faster)",
         out / "size-vs-extract.png")
    draw(rows_by_tree, "pack_mbs", "packing, MB/s of original data (log scale; right is faster)",
         out / "size-vs-pack.png")


if __name__ == "__main__":
    main()
