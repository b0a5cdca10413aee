#!/usr/bin/python3
"""Reads telvar's pictures for the tests with the standard library alone: `facts FILE.svg`
prints {id: {"class": [...], "texts": [...]}} for every element with an id; `geometry FILE.svg`
prints the picture's size in pixels, its smallest text in pixels as drawn and when it is shrunk
to fit a screen 1600 pixels wide, the centres of its switches, and the port numbers of links
whose box an edge crosses."""
import json
import re
import sys
import xml.etree.ElementTree as ET


def facts(path):
    return {e.get("id"): {"class": e.get("class", "").split(),
                          "texts": ["".join(t.itertext()) for t in e.iter("{http://www.w3.org/2000/svg}text")]}
            for e in ET.parse(path).getroot().iter() if e.get("id") is not None}


SVG = "{http://www.w3.org/2000/svg}"
NUMBER = re.compile(r"-?[0-9]*\.?[0-9]+(?:e-?[0-9]+)?")


def pixels(length):
    """An SVG length in pixels (a point is 4/3 of a pixel)."""
    value = float(NUMBER.match(length).group())
    return value * 4 / 3 if length.endswith("pt") else value


def path_points(d):
    """The points of a Graphviz edge path (M x,y C x,y x,y x,y ...), each cubic sampled finely."""
    numbers = [float(n) for n in NUMBER.findall(d)]
    pts = list(zip(numbers[0::2], numbers[1::2]))
    out = pts[:1]
    for i in range(1, len(pts) - 2, 3):
        p0, p1, p2, p3 = pts[i - 1], pts[i], pts[i + 1], pts[i + 2]
        for k in range(1, 33):
            t = k / 32
            out.append(tuple((1 - t) ** 3 * a + 3 * (1 - t) ** 2 * t * b + 3 * (1 - t) * t * t * c + t ** 3 * e
                             for a, b, c, e in zip(p0, p1, p2, p3)))
    return out


def crosses(segment, box):
    """Whether the segment meets the box (x0, y0, x1, y1): clipped against each side in turn."""
    (x0, y0), (x1, y1) = segment
    t0, t1 = 0.0, 1.0
    for towards, room in ((x0 - x1, x0 - box[0]), (x1 - x0, box[2] - x0), (y0 - y1, y0 - box[1]), (y1 - y0, box[3] - y0)):
        if towards == 0:
            if room < 0:
                return False
        elif towards < 0:
            t0 = max(t0, room / towards)
        else:
            t1 = min(t1, room / towards)
        if t0 > t1:
            return False
    return True


def text_box(t):
    """The box a text covers: DejaVu Sans's digits and letters are at most 0.7 em wide, its
    capitals 0.73 em tall, its descenders 0.24 em deep."""
    size, x, y = float(t.get("font-size")), float(t.get("x")), float(t.get("y"))
    width = 0.7 * size * len("".join(t.itertext()))
    left = {"middle": x - width / 2, "end": x - width}.get(t.get("text-anchor"), x)
    return (left, y - 0.76 * size, left + width, y + 0.24 * size)


def geometry(path):
    root = ET.parse(path).getroot()
    width, height = pixels(root.get("width")), pixels(root.get("height"))
    view = [float(n) for n in root.get("viewBox").split()] if root.get("viewBox") else [0, 0, width, height]
    scale = width / view[2]
    texts = list(root.iter(SVG + "text"))
    smallest = min(float(t.get("font-size")) for t in texts) * scale
    groups = [g for g in root.iter(SVG + "g") if "edge" in g.get("class", "").split()]
    paths = [(g.get("id"), path_points(p.get("d"))) for g in groups for p in g.iter(SVG + "path")]
    crossed = []
    for g in groups:
        if "link" not in g.get("class", "").split():
            continue
        for t in g.iter(SVG + "text"):
            box = text_box(t)
            for edge, pts in paths:
                if any(crosses(s, box) for s in zip(pts, pts[1:])):
                    crossed.append(f"{g.get('id')} {''.join(t.itertext())} by {edge}")
    switches = {}
    for g in root.iter(SVG + "g"):
        if g.get("id", "").startswith("switch_"):
            shape = next(e for e in g if e.tag in (SVG + "path", SVG + "polygon"))
            numbers = [float(n) for n in NUMBER.findall(shape.get("d") or shape.get("points"))]
            xs, ys = numbers[0::2], numbers[1::2]
            switches[g.get("id")] = [(min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2]
    return {"width": width, "height": height, "smallest_text": smallest,
            "smallest_text_at_1600": smallest * min(1.0, 1600 / width), "switches": switches, "crossed": crossed}


if __name__ == "__main__":
    try:
        json.dump({"facts": facts, "geometry": geometry}[sys.argv[1]](sys.argv[2]), sys.stdout)
    except (IndexError, KeyError, OSError, ValueError, StopIteration, AttributeError, ET.ParseError) as e:
        sys.exit(f"picture_check.py facts FILE.svg | geometry FILE.svg: {e!r}")
