#!/usr/bin/python3
"""Whole-program test of "Align to Recording", driven as a user would.

Started by run_e2e.sh (E2E_SCRIPT=align_e2e.py) inside its own X server and D-Bus
session, with the same arguments as e2e.py, whose helpers it uses. A project is made
in the temporary Notes folder from a piece of the corpus's test half (one the costs were
not tuned on) with known note onsets: its recording (an MP3 whose first note sounds at its
first sample), one page, and one marker entry per melody note, its box where the note's
head was engraved, spread evenly between the first bar's start and the last bar's end
(what automatic marking's Finish writes). The program opens it, enters editing mode
(which analyses the recording), aligns the markers from the index list's menu, answers
Yes and saves; the saved times must lie on the true onsets.

Usage: align_e2e.py APP NOTES_DIR PIECES_DIR OUT_DIR
"""

import os
import re
import shutil
import subprocess
import sys
import time

import pyatspi

import e2e
from e2e import (check, click, find, key, log, poll, shot, sibling_named,
                 window_titled, xdo)

APP, NOTES, PIECES, OUT = sys.argv[1:5]
NAME = "HeldOut"
PIECE = os.path.join(PIECES, "corpus", "piano-minuet")
PROJECT = os.path.join(NOTES, NAME)
NTF = os.path.join(PROJECT, NAME + ".ntf")


# --- the project ------------------------------------------------------------------------

def hundredths(t):
    """A time as the program writes an entry name: hundredths, shortest text."""
    text = f"{round(t + 1e-9, 2):.2f}".rstrip("0").rstrip(".")
    return "0" if text in ("", "-0") else text


def read_truth():
    start = end = audio = None
    notes, places = [], []
    with open(PIECE + ".csv") as f:
        for line in f:
            fields = line.strip().split(",")
            if fields[0] == "start":
                start = float(fields[1])
            elif fields[0] == "end":
                end = float(fields[1])
            elif fields[0] == "audio":
                audio = fields[1]
            elif fields[0] == "note":
                notes.append(float(fields[1]))
                # Millionths of the page, in multiples of 10 as a click gives them.
                places.append(tuple(round(float(v) * 100000) * 10 for v in fields[4:6])
                              + (int(fields[6]),))
    return start, end, notes, places, audio


def make_project(start, end, places, audio):
    os.makedirs(PROJECT)
    source = os.path.join(PIECES, "corpus", audio)
    shutil.copy(source, PROJECT)
    subprocess.run(["convert", "-size", "800x1000", "xc:white", "-fill", "black",
                    "-draw", "rectangle 100,100 700,140", os.path.join(PROJECT, "page1.jpg")],
                   check=True, timeout=60)
    lines = ["AudioFile=" + audio, "SourceAudioFile=" + source,
             "DirPath=", "FileName=" + NAME, "NotesDataFile=" + NAME + ".ntf", "UseLocal=true",
             "NotesFile0=page1.jpg", "NotesAmount=1"]
    with open(os.path.join(PROJECT, NAME + ".nts"), "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))
    step = (end - start) / len(places)
    entries, acc = [], 0.0
    for x, y, _ in places:
        entries.append(f"{hundredths(start + acc)}={{{x}}}{{{y}}}{{0}}")
        acc += step
    with open(NTF, "w", newline="") as f:
        f.write("".join(e + "\r\n" for e in entries))
    return entries


def read_entries():
    with open(NTF, newline="") as f:
        return [line for line in f.read().split("\r\n") if line]


def answer_box(text_pattern, button):
    """Waits for a message box whose text matches, then presses its button."""
    label = poll(lambda: find(pyatspi.ROLE_LABEL, pattern=text_pattern, only_visible=False), 20)
    if label is None:
        return None
    text = label.name
    shot("box")
    target = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, pattern=r"&?" + button), 5)
    if target is not None:
        click(target)
    else:
        key("Return")
    poll(lambda: find(pyatspi.ROLE_LABEL, pattern=text_pattern, only_visible=False) is None, 10)
    return text


# --- the run ---------------------------------------------------------------------------

def run(proc, truth, spread):
    start_play = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Play",
                                   where=lambda a: sibling_named(a, "Record")), 60)
    if not check("start screen shows Play", start_play is not None):
        return
    click(start_play)
    dialog = poll(lambda: window_titled("Select File"), 30)
    if not check("file dialog \"Select File\" opens", bool(dialog)):
        return
    time.sleep(0.5)
    xdo("windowactivate", "--sync", dialog[0])
    xdo("type", "--delay", "40", f"{NAME}/{NAME}.nts")
    key("Return")
    edit = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Edit"), 30)
    shot("project-open")
    if not check("project opens with \"Edit\" on the toolbar", edit is not None):
        return

    click(edit)
    check("\"Editing Mode.\" is shown", answer_box(r"Editing Mode\.", "OK") is not None)
    analysed = poll(lambda: find(pyatspi.ROLE_LABEL, pattern=r"Recording analysed: \d+ onsets"), 60)
    shot("analysed")
    if not check("status line says the recording is analysed", analysed is not None,
                 repr(find(pyatspi.ROLE_LABEL, pattern=r"(Analysing|The recording).*"))):
        return
    check("\"Snap to Recording\" shown beside Pre-Click, unchecked",
          find(pyatspi.ROLE_CHECK_BOX, "Snap to Recording") is not None
          and not find(pyatspi.ROLE_CHECK_BOX, "Snap to Recording").getState().contains(
              pyatspi.STATE_CHECKED))

    lst = e2e.marker_list()
    if not check("index list found", lst is not None):
        return
    click(lst, "3")
    # Qt does not always publish a pop-up menu's items on the accessibility bus: then the
    # keyboard walks the menu ("Delete", "Delete All", "Align to Recording"). The question
    # that follows shows which item ran.
    item = poll(lambda: find(pyatspi.ROLE_MENU_ITEM, "Align to Recording"), 3)
    shot("menu")
    if item is not None:
        click(item)
    else:
        for _ in range(3):
            key("Down")
            time.sleep(0.2)
        key("Return")
    question = answer_box(r"\d+ of \d+ markers will move.*", "Yes")
    check("a question says how many markers move and by how much",
          question is not None and f"of {len(truth)} markers" in question, repr(question))
    check("nothing written before saving", read_entries() == spread)

    save = find(pyatspi.ROLE_PUSH_BUTTON, "Save")
    if not check("Save found", save is not None):
        return
    click(save)
    check("\"Saved.\" is shown", answer_box(r"Saved\.", "OK") is not None)

    saved = read_entries()
    if not check("one entry per note saved", len(saved) == len(truth), f"{len(saved)} entries"):
        return
    check("places and pages kept", [e.split("=", 1)[1] for e in saved] ==
          [e.split("=", 1)[1] for e in spread])
    times = [float(e.split("=", 1)[0]) for e in saved]
    errors = [abs(t - n) * 1000 for t, n in zip(times, truth)]
    within = sum(e <= 30 for e in errors) / len(errors)
    before = [abs(float(e.split("=", 1)[0]) - n) * 1000 for e, n in zip(spread, truth)]
    log(f"MEASURE even spread: mean {sum(before) / len(before):.0f} ms, worst {max(before):.0f} ms; "
        f"aligned: {within * 100:.1f} % within 30 ms, mean {sum(errors) / len(errors):.1f} ms, "
        f"worst {max(errors):.1f} ms")
    check("saved times lie on the true onsets (95 % within 30 ms)", within >= 0.95,
          f"{within * 100:.1f} %")

    x = e2e.close_box()
    if check("close box \"X\" found", x is not None):
        click(x)
        e2e.expect_exit(proc, "after \"X\"")


def main():
    os.makedirs(OUT, exist_ok=True)
    start, end, truth, places, audio = read_truth()
    spread = make_project(start, end, places, audio)
    e2e.with_program(lambda proc: run(proc, truth, spread))
    return e2e.tally()


if __name__ == "__main__":
    e2e.run_scenario(main)
