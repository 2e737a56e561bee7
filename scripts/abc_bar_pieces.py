"""Pieces of the bar finder's corpus set by a second engraver, abcm2ps, from ABC
text: its spacing, glyphs (a common-time sign, thin stems, small heads) and page
layout differ from LilyPond's, so the finder is held to pages it was not shaped on.
Used by scripts/make-bar-pieces; needs abcm2ps and rsvg-convert (librsvg2-bin).

abcm2ps writes one SVG per page in CSS pixels (96 to the inch) with no transforms
around the staves and bar lines, so the truth is read from the drawing itself: a
staff is one path of five horizontal lines, a bar line a vertical stroke drawn with
a stroke width, a repeat sign's dots a use of "rdots" beside it, and an ending a
number over a bracket."""

import random
import re

# name: (meter, key, staves, bars per system in turn, sections, engraved dpi, half, seed)
# sections: (bars, repeated, endings): that many bars, |: ... :| around them where
# repeated; with endings their last bar is the first ending and one bar more the second.
# staves 2 joined: bar lines through both staves; "2 apart": each staff its own.
ABC_PIECES = {
    "hornpipe": ("4/4", "D", "1", [4, 4, 5, 3, 4, 4], [(8, True, True), (8, True, False)],
                 150, "tune", 1),
    "strathspey": ("C", "Eb", "2", [3, 4, 3, 4, 3], [(8, True, False), (8, True, True)],
                   200, "tune", 2),
    "slipjig": ("9/8", "Em", "1", [3, 4, 3, 4, 3], [(8, True, False), (8, True, True)],
                300, "test", 3),
    "polska": ("3/4", "Gm", "2 apart", [4, 5, 4, 5], [(8, True, True), (8, False, False)],
               150, "test", 4),
}
SCALE = 300 / 96  # master pixels per SVG pixel

EIGHTHS = {"4/4": 8, "C": 8, "3/4": 6, "9/8": 9, "6/8": 6, "2/4": 4}
HIGH = ["C", "D", "E", "F", "G", "A", "B", "c", "d", "e", "f", "g", "a"]
LOW = ["G,,", "A,,", "B,,", "C,", "D,", "E,", "F,", "G,", "A,", "B,", "C"]


def abc_bar(rng, eighths, pitches, compound):
    """One bar of notes in eighths (L:1/8): runs, dotted notes, chords, rests,
    accidentals and the odd grace note or decoration."""
    cells, left = [], eighths
    while left > 0:
        choices = [1, 2, 3] if compound else [1, 1, 2, 2, 3, 4]
        length = rng.choice([c for c in choices if c <= left] or [left])
        left -= length
        note = rng.choice(["", "", "", "", "^", "_", "="]) + rng.choice(pitches)
        r = rng.random()
        if r < 0.08:
            note = "z"
        elif r < 0.16:
            note = "[" + note + rng.choice(pitches) + "]"
        elif r < 0.2:
            note = "{g}" + note
        elif r < 0.24:
            note = rng.choice(["!trill!", "!fermata!", "!>!", "~"]) + note
        cells.append(note + ("" if length == 1 else str(length)))
    return " ".join(cells)


def write_abc(name, layout):
    meter, key, staves, per_system, sections, _, _, seed = layout
    rng = random.Random(seed)
    eighths, compound = EIGHTHS[meter], meter in ("9/8", "6/8")
    voices = 2 if staves.startswith("2") else 1
    # The bars in writing order with the bar line before and after each.
    bars = []
    for number, (count, repeated, endings) in enumerate(sections):
        for k in range(count + (1 if endings else 0)):
            before = "|:" if repeated and k == 0 else ""
            if endings and k == count - 1:
                before += "[1 "
            if endings and k == count:
                before += "[2 "
            last = k == count + (1 if endings else 0) - 1
            if repeated and (k == count - 1 if endings else last):
                after = ":|"
            elif last:
                after = "|]" if number == len(sections) - 1 else "||"
            else:
                after = "|"
            bars.append((before, after))
    lines = [[] for _ in range(voices)]
    systems, i = [], 0
    while i < len(bars):
        size = per_system[len(systems) % len(per_system)]
        systems.append(bars[i:i + size])
        i += size
    text = [f"X:{seed}", f"T:{name.capitalize()}", f"M:{meter}", "L:1/8"]
    if voices == 2:
        text.append("%%score {1 | 2}" if staves == "2" else "%%score {1 2}")
    text.append(f"K:{key}")
    for system in systems:
        for v in range(voices):
            written = []
            for before, after in system:
                notes = abc_bar(rng, eighths, LOW if v else HIGH, compound)
                if written and before.startswith("|:") and written[-1].endswith(":|"):
                    written[-1] += ":"
                    before = before[2:]
                elif written and before.startswith("|:"):
                    written[-1] = written[-1].rstrip("|").rstrip()
                written.append(f"{before}{notes} {after}")
            lines[v].append(" ".join(written))
    for k in range(len(systems)):
        for v in range(voices):
            if voices == 2:
                text.append(f"V:{v + 1}" + (" clef=bass" if v and k == 0 else ""))
            text.append(lines[v][k])
    return "\n".join(text) + "\n"


NUMBER = r"([-\d.]+)"
STAFF_RE = re.compile(r'<path d="m' + NUMBER + " " + NUMBER + r"\s+h" + NUMBER +
                      r'((?:\s+M[-\d.]+ [-\d.]+\s+h[-\d.]+)*)\s*" class="stroke"/>')
LINE_RE = re.compile(r'<path class="stroke" stroke-width="[\d.]+"\s+d="M' + NUMBER + " " +
                     NUMBER + "v-" + NUMBER + '"/>')
DOTS_RE = re.compile(r'<use x="' + NUMBER + '" y="' + NUMBER + '" xlink:href="#rdots"/>')
ENDING_RE = re.compile(r"<text[^>]*>([12])</text>\s*<path class=\"stroke\"\s+d=\"M" + NUMBER +
                       " " + NUMBER + "m0 20v-20h")
CONTENT_RE = re.compile(r'<use x="' + NUMBER + '" y="' + NUMBER +
                        r'" xlink:href="#(?:hd|Hd|HD|HDD|r\d+)"/>')


def abc_page_truth(svg, staves):
    """The bars of one abcm2ps page in reading order, in pixels of the 300 dpi
    master: [system, left, right, top, bottom, flags], as page_truth gives them."""
    text = svg.read_text(encoding="utf-8")
    staffs = []
    for m in STAFF_RE.finditer(text):
        ys = [float(m.group(2))] + [float(y) for y in re.findall(r"M[-\d.]+ ([-\d.]+)",
                                                                   m.group(4))]
        if len(ys) == 5:
            staffs.append((min(ys), max(ys), float(m.group(1)),
                           float(m.group(1)) + float(m.group(3))))
    staffs.sort()
    per = 2 if staves.startswith("2") else 1
    if not staffs or len(staffs) % per:
        raise ValueError(f"{svg.name}: {len(staffs)} staves")
    space = (staffs[0][1] - staffs[0][0]) / 4
    lines = [(float(x), float(y) - float(h), float(y)) for x, y, h in LINE_RE.findall(text)]
    dots = [(float(x), float(y)) for x, y in DOTS_RE.findall(text)]
    heads = [(float(x), float(y)) for x, y in CONTENT_RE.findall(text)]
    endings = [(int(n), float(x), float(y)) for n, x, y in ENDING_RE.findall(text)]
    bars = []
    for index in range(len(staffs) // per):
        group = staffs[index * per:(index + 1) * per]
        top, bottom, left = group[0][0], group[-1][1], group[0][2]
        xs = sorted(x for x, y0, y1 in lines
                    if y0 <= bottom + space and y1 >= top - space and x > left + space)
        merged = []
        for x in xs:
            if merged and x - merged[-1][1] < 2 * space:
                merged[-1][1] = x
            else:
                merged.append([x, x])
        edges = []
        for x0, x1 in merged:
            near = [d for d, y in dots if top - space <= y <= bottom + space and
                    x0 - 2 * space <= d <= x1 + 2 * space]
            edges.append((x0, x1, any(d > x1 for d in near), any(d < x0 for d in near)))
        # A line at the system's start with no note before it (a repeat sign after the
        # key) is where the first bar begins.
        begin = (left, left, False, False)
        if edges and not any(left < hx < edges[0][0] and
                             top - 1.5 * space < hy < bottom + 1.5 * space
                             for hx, hy in heads):
            begin, edges = edges[0], edges[1:]
        for a, b in zip([begin] + edges, edges):
            flags = (["start"] if a[2] else []) + (["end"] if b[3] else [])
            bars.append([index, a[1], b[0], top, bottom, flags])
    for number, x, y in endings:
        for bar in bars:
            if bar[1] - space <= x <= bar[2] and bar[3] - 8 * space <= y <= bar[3]:
                bar[5].append(f"e{number}")
                break
    for bar in bars:
        for k in (1, 2, 3, 4):
            bar[k] *= SCALE
    return bars, space * SCALE
