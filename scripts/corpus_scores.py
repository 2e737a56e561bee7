"""The corpus's pieces for scripts/make-test-pieces: their definitions and
their scores (LilyPond text). The definitions are fixed, and so are the
melodies drawn for them (each from its piece's seed)."""

import math
import random
from pathlib import Path

DATA = Path(__file__).resolve().parent.parent / "tests" / "analysis" / "data"

# name, half, instrument, accompaniment, rhythm, tempo curve, quarter bpm,
# start, format, seed, and quarters a bar where not four
CORPUS_PIECES = [
    ("piano-steady", "tune", "acoustic grand", "bass", "plain", "steady", 100, "silence", "mp3", 1),
    ("piano-minuet", "test", "acoustic grand", "bass", "plain", "steady", 112, "none", "mp3", 2),
    ("piano-study", "tune", "acoustic grand", "chords", "dotted", "stepped", 84, "short", "wma", 3),
    ("piano-tempi", "test", "acoustic grand", "chords", "dotted", "stepped", 80, "short", "mp3", 4),
    ("piano-runs", "tune", "acoustic grand", "eighths", "runs", "sine", 76, "reverb", "opus", 5),
    ("piano-rubato", "test", "acoustic grand", "eighths", "runs", "sine", 72, "reverb", "wma", 6),
    ("violin-slurred", "tune", "violin", "piano-chords", "repeated", "sine", 90, "silence", "mp3", 7),
    ("violin-melody", "test", "violin", "piano-chords", "repeated", "bar-by-bar", 88, "short", "mp3", 8),
    ("cello-long", "tune", "cello", "none", "long", "rit", 96, "noise", "wav", 9),
    ("cello-song", "test", "cello", "none", "long", "rit", 92, "noise", "opus", 10),
    ("flute-dotted", "tune", "flute", "piano-bass", "dotted", "drift", 100, "short", "wma", 11),
    ("flute-air", "test", "flute", "piano-bass", "dotted", "drift", 104, "silence", "wma", 12),
    ("clarinet-rests", "tune", "clarinet", "none", "rests", "steady", 108, "long", "mp3", 13),
    ("clarinet-phrases", "test", "clarinet", "none", "rests", "sine", 100, "long", "mp3", 14),
    ("guitar-plain", "tune", "acoustic guitar (nylon)", "none", "plain", "steady", 96, "none", "opus", 15),
    ("guitar-waltz", "test", "acoustic guitar (nylon)", "bass", "plain", "rit", 100, "short", "wav", 16),
    ("voice-long", "tune", "choir aahs", "piano-chords", "long", "stepped", 84, "reverb", "mp3", 17),
    ("voice-hymn", "test", "choir aahs", "piano-chords", "long", "steady", 80, "silence", "mp3", 18),
    ("oboe-runs", "tune", "oboe", "piano-eighths", "runs", "steady", 66, "silence", "wma", 19),
    ("oboe-fast", "test", "oboe", "piano-eighths", "runs", "drift", 70, "none", "opus", 20),
    ("piano-dense", "tune", "acoustic grand", "eighths", "plain", "bar-by-bar", 92, "noise", "mp3", 21),
    ("piano-busy", "test", "acoustic grand", "eighths", "repeated", "bar-by-bar", 96, "noise", "mp3", 22),
    ("strings-slow", "tune", "violin", "none", "long", "sine", 70, "reverb", "wma", 23),
    ("strings-air", "test", "violin", "none", "dotted", "rit", 76, "reverb", "wma", 24),
    ("cello-dotted", "tune", "cello", "piano-bass", "dotted", "stepped", 88, "short", "mp3", 25),
    ("cello-steps", "test", "cello", "piano-bass", "dotted", "stepped", 84, "silence", "opus", 26),
    ("flute-runs", "tune", "flute", "none", "runs", "rit", 72, "reverb", "mp3", 27),
    ("flute-fast", "test", "flute", "none", "runs", "rit", 76, "none", "wav", 28),
    ("clarinet-slurred", "tune", "clarinet", "piano-chords", "repeated", "steady", 92, "silence",
     "wma", 29),
    ("clarinet-legato", "test", "clarinet", "piano-chords", "repeated", "steady", 88, "noise",
     "mp3", 30),
    ("voice-dotted", "tune", "choir aahs", "none", "dotted", "rit", 90, "short", "opus", 31),
    ("voice-air", "test", "choir aahs", "none", "dotted", "rit", 86, "reverb", "mp3", 32),
    ("violin-rests", "tune", "violin", "none", "rests", "drift", 96, "noise", "opus", 33),
    ("violin-breaths", "test", "violin", "none", "rests", "drift", 100, "silence", "wma", 34),
    ("guitar-runs", "tune", "acoustic guitar (nylon)", "bass", "runs", "stepped", 70, "reverb",
     "mp3", 35),
    ("guitar-study", "test", "acoustic guitar (nylon)", "bass", "runs", "stepped", 74, "short",
     "opus", 36),
    # Waltzes and marches: a bass note on the downbeat, chords on the other beats.
    ("piano-valse", "tune", "acoustic grand", "waltz", "plain", "rit", 138, "silence", "mp3", 37,
     3),
    ("flute-waltz", "tune", "flute", "piano-waltz", "runs", "steady", 120, "noise", "wav", 38, 3),
    ("violin-polka", "tune", "violin", "piano-oompah", "dotted", "stepped", 100, "short", "opus",
     39),
    ("piano-landler", "test", "acoustic grand", "waltz", "repeated", "sine", 126, "none", "opus",
     40, 3),
    ("oboe-waltz", "test", "oboe", "piano-waltz", "dotted", "drift", 116, "short", "wma", 41, 3),
    ("clarinet-march", "test", "clarinet", "piano-oompah", "plain", "steady", 108, "reverb",
     "mp3", 42),
]

CORPUS_BARS = 8
# Rhythm cells in sixteenths, chosen at random to fill each 4/4 bar (16). A
# negative length is a rest.
RHYTHM_CELLS = {
    "plain": [[4], [4], [2, 2], [8], [4, 4]],
    "dotted": [[6, 2], [3, 1], [6, 2], [4], [12, 4]],
    "runs": [[1, 1, 1, 1], [2, 2], [1, 1, 2], [4]],
    "long": [[8], [16], [4, 4], [12, 4]],
    "rests": [[4, -4], [2, 2], [-2, 2], [8], [4]],
    "repeated": [[2, 2], [4], [2, 2, 4], [4, 4]],
}
# The same in 6/8, where the cells fill dotted quarters (6).
JIG_CELLS = [[6], [4, 2], [2, 2, 2], [3, 1, 2], [6, 6]]
def drawn_pieces():
    """Thirty more pieces for each half, drawn at random from the same kinds
    (the same draw every time): a corpus tuned on a few pieces of each kind
    fits those pieces, not the kinds."""
    short = {"acoustic grand": "piano", "violin": "violin", "cello": "cello",
             "flute": "flute", "clarinet": "clarinet",
             "acoustic guitar (nylon)": "guitar", "choir aahs": "voice", "oboe": "oboe"}
    pieces = []
    for half, seed, first in (("tune", 2026, 0), ("test", 2027, 30)):
        rng = random.Random(seed)
        for k in range(30):
            instrument = rng.choice(list(short))
            beats = rng.choice([3, 4, 4])
            if beats == 3:
                accompaniment = rng.choice(["none", "waltz"])
            else:
                accompaniment = rng.choice(["none", "bass", "chords", "eighths", "oompah"])
            if accompaniment != "none" and instrument not in ("acoustic grand",
                                                              "acoustic guitar (nylon)"):
                accompaniment = "piano-" + accompaniment
            rhythm = rng.choice(list(RHYTHM_CELLS))
            curve = rng.choice(["steady", "stepped", "sine", "rit", "drift", "bar-by-bar"])
            bpm = rng.randrange(66, 140, 2)
            start = rng.choice(["none", "silence", "short", "long", "reverb", "noise"])
            fmt = rng.choice(["mp3", "wma", "wav", "opus"])
            pieces.append((f"mix{first + k:02d}-{short[instrument]}-{rhythm}", half, instrument,
                           accompaniment, rhythm, curve, bpm, start, fmt,
                           (1000 if half == "tune" else 2000) + k, beats))
    return pieces


CORPUS_PIECES += drawn_pieces()


def long_pieces():
    """Four more pieces for each half, 32 bars long, each over an accompaniment
    as loud as the melody: a waltz, a march, a jig in 6/8 (its beat a dotted
    quarter) or chords. Over eight bars a count that goes one beat wrong gains
    little; over thirty-two it gains a loud chord on every downbeat. An outside
    trial of a 32-bar waltz showed it, which the eight-bar pieces did not."""
    short = {"acoustic grand": "piano", "violin": "violin", "cello": "cello",
             "flute": "flute", "clarinet": "clarinet", "oboe": "oboe",
             "acoustic guitar (nylon)": "guitar", "trumpet": "trumpet"}
    forms = [("waltz", 3), ("oompah", 4), ("jig", 6), ("chords", 4)]
    pieces = []
    for half, seed, first in (("tune", 3026, 0), ("test", 3027, 4)):
        rng = random.Random(seed)
        for k, (accompaniment, beats) in enumerate(forms):
            instrument = rng.choice(list(short))
            if instrument not in ("acoustic grand", "acoustic guitar (nylon)"):
                accompaniment = "piano-" + accompaniment
            rhythm = rng.choice(["plain", "dotted", "long", "repeated"])
            curve = rng.choice(["steady", "stepped", "rit", "drift"])
            bpm = rng.randrange(72, 132, 2)
            start = rng.choice(["none", "silence", "long", "reverb"])
            fmt = rng.choice(["mp3", "wma", "opus"])
            pieces.append((f"long{first + k}-{short[instrument]}-{accompaniment.split('-')[-1]}",
                           half, instrument, accompaniment, rhythm, curve, bpm, start, fmt,
                           (3000 if half == "tune" else 4000) + k, beats, 32, True))
    return pieces


CORPUS_PIECES += long_pieces()


SCALE = [0, 2, 4, 5, 7, 9, 11]
RANGES = {"acoustic grand": 67, "violin": 72, "cello": 50, "flute": 76,
          "clarinet": 67, "acoustic guitar (nylon)": 64, "choir aahs": 67,
          "oboe": 72, "trumpet": 67}
NOTE_NAMES = ["c", "cis", "d", "dis", "e", "f", "fis", "g", "gis", "a", "ais", "b"]
DURATIONS = {1: "16", 2: "8", 3: "8.", 4: "4", 6: "4.", 8: "2", 12: "2.", 16: "1"}


def ly_pitch(key):
    octave = key // 12 - 4  # c' is key 60
    return NOTE_NAMES[key % 12] + ("'" * octave if octave > 0 else "," * -octave)


def beats_of(defn):
    """Quarter notes a bar, or 6 for a bar of 6/8."""
    return defn[10] if len(defn) > 10 else 4


def quarters(defn):
    """Quarter notes a bar (a bar of 6/8 holds three)."""
    return 3 if beats_of(defn) == 6 else beats_of(defn)


def bars_of(defn):
    """Bars the piece lasts."""
    return defn[11] if len(defn) > 11 else CORPUS_BARS


def loud(defn):
    """Whether the accompaniment plays as loud as the melody."""
    return len(defn) > 12 and defn[12]


def corpus_melody(rhythm, low, rng, beats=4, bars=CORPUS_BARS, jig=False):
    """LilyPond notes of the melody and its onsets in sixteenths (beats:
    quarters a bar; jig: in 6/8)."""
    notes, degree, key_before = [], 7, None
    for _ in range(bars):
        left = 4 * beats
        while left > 0:
            cell = rng.choice(JIG_CELLS if jig else RHYTHM_CELLS[rhythm])
            if sum(abs(c) for c in cell) > left:
                cell = [left]
            for length in cell:
                if length < 0:
                    notes.append(f"r{DURATIONS[-length]}")
                    left += length
                    continue
                if not (rhythm == "repeated" and key_before is not None and rng.random() < 0.4):
                    degree = max(0, min(13, degree + rng.choice([-2, -1, -1, 1, 1, 2, 3])))
                key = low - 7 + 12 * (degree // 7) + SCALE[degree % 7]
                key_before = key
                notes.append(f"{ly_pitch(key)}{DURATIONS[length]}")
                left -= length
    if rhythm == "repeated":  # slurs over groups of four notes
        out, count = [], 0
        for n in notes:
            mark = "(" if count % 4 == 0 else (")" if count % 4 == 3 else "")
            out.append(n + mark if not n.startswith("r") else n)
            count += 0 if n.startswith("r") else 1
        if count % 4 not in (0,):
            out.append("")
        notes = out
    text = " ".join(notes)
    if rhythm == "repeated" and text.count("(") > text.count(")"):
        text = text[::-1].replace("(", "", 1)[::-1]
    return text


def corpus_accompaniment(kind, bars=CORPUS_BARS):
    """The accompaniment's bars: a staff of its own. A waltz, a march (oompah)
    or a jig alternates two bars of its own."""
    patterns = {"bass": ["c4 g, e g,"], "piano-bass": ["c4 g, e g,"],
            "chords": ["<c e g>4 <c f a> <b, d g> <c e g>"],
            "piano-chords": ["<c e g>4 <c f a> <b, d g> <c e g>"],
            "eighths": ["c8 g e g c a f a"], "piano-eighths": ["c8 g e g c a f a"],
            "waltz": ["c,4 <e g c'> <e g c'>", "g,,4 <f g b> <f g b>"],
            "oompah": ["c,4 <e g c'> g,, <e g c'>", "g,,4 <f g b> d, <f g b>"],
            "jig": ["c,8 <e g> <e g> g,, <e g> <e g>", "g,,8 <f g b> <f g b> d, <f g b> <f g b>"]}
    for form in ("waltz", "oompah", "jig"):
        patterns["piano-" + form] = patterns[form]
    pattern = patterns[kind]
    return " | ".join(pattern[b % len(pattern)] for b in range(bars))


def corpus_tempos(curve, bpm, eighths, bar=8):
    """The quarter's tempo at every eighth (bar: eighths a bar)."""
    out = []
    for k in range(eighths):
        share = k / eighths
        if curve == "steady":
            f = 1.0
        elif curve == "stepped":
            f = [0.75, 1.2, 0.9][min(2, int(share * 3))]
        elif curve == "sine":
            f = 1 + 0.4 * math.sin(2 * math.pi * k / 32)
        elif curve == "rit":
            f = 1.0 if share < 0.7 else 1 - 0.4 * (share - 0.7) / 0.3
        elif curve == "drift":
            f = 0.8 + 0.45 * share
        else:  # bar-by-bar: a new tempo in every bar
            f = [1.0, 0.85, 1.15, 0.9, 1.3, 0.8, 1.1, 0.95][(k // bar) % 8]
        out.append(max(20, round(bpm * f)))
    return out


def corpus_score(defn, rng):
    name, _, instrument, accompaniment, rhythm, curve, bpm = defn[:7]
    beats, bars = quarters(defn), bars_of(defn)
    time = "6/8" if beats_of(defn) == 6 else f"{beats}/4"
    logger = (DATA / "rubato.ly").read_text(encoding="utf-8")
    logger = logger[logger.index("#(define (melody-note-logger"):logger.index("% One tempo")]
    tempos = " ".join(f"\\set Score.tempoWholesPerMinute = #(ly:make-moment {t} 4) s8"
                      for t in corpus_tempos(curve, bpm, bars * 2 * beats, 2 * beats))
    melody = corpus_melody(rhythm, RANGES[instrument], rng, beats, bars, beats_of(defn) == 6)
    staves = [f"""\\new Staff \\with {{ midiInstrument = "{instrument}" }} <<
    \\key c \\major \\time {time}
    \\new Voice {{ {tempos} }}
    \\new Voice \\with {{ \\consists #melody-note-logger }} {{ \\clef "{"bass" if RANGES[instrument] < 55 else "treble"}" {melody} \\bar "|." }}
  >>"""]
    if accompaniment != "none":
        sound = instrument if not accompaniment.startswith("piano") else "acoustic grand"
        volume = "" if loud(defn) else " midiMinimumVolume = #0.2 midiMaximumVolume = #0.45"
        staves.append(f"""\\new Staff \\with {{ midiInstrument = "{sound}"{volume} }} {{
    \\clef bass \\key c \\major \\time {time} {corpus_accompaniment(accompaniment, bars)}
  }}""")
    return f"""\\version "2.24.0"
% Generated by scripts/make-test-pieces for the corpus piece {name}; public domain.
{logger}
music = <<
  {chr(10).join(staves)}
>>
\\score {{ \\music \\layout {{}} }}
\\score {{ \\music \\midi {{}} }}
"""
