#!/usr/bin/python3
"""Whole-program test: a project from a PDF and an MP3 with Find Bars, counting clicks.

Started by run_e2e.sh (E2E_SCRIPT=e2e_findbars.py) inside its own X server and D-Bus
session, with the same arguments as e2e.py, whose helpers it uses. For a 2-page PDF of a
32-bar piece and for one of 64 bars (tests/e2e/data, engraved from the .ly files there),
with a recording of clicks, one bar a second, then two seconds of silence, made by ffmpeg:
the wizard in automatic mode, the start and the end of the recording confirmed with
Continue, Find Bars, Finish, Edit, Align to Recording and Save. Every mouse click is
counted; the user's effort must not grow with the piece. The saved project then plays
with the marker on each bar in turn.

Usage: e2e_findbars.py APP NOTES_DIR DEMO_DIR OUT_DIR
"""

import os
import re
import shutil
import subprocess
import time

import pyatspi

import e2e
from e2e import check, choose_file, find, key, log, poll, shot, transport, xdo

APP, NOTES, OUT = e2e.APP, e2e.NOTES, e2e.OUT
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCES = os.path.join(os.path.dirname(NOTES), "sources")
MOST_CLICKS = 25

clicks = 0


def click(acc, button="1"):
    global clicks
    clicks += 1
    e2e.click(acc, button)


def make_recording(path, bars):
    """Clicks on every beat of 4/4 at 240 bpm, the downbeat louder: one bar a second, then
    two seconds of silence, as a recording ends after its last note has died away (the end
    of the music is set at the recording's end, past it)."""
    expr = f"lt(t,{bars})*(0.3+0.5*eq(mod(floor(t*4),4),0))*sin(2*PI*1000*t)*exp(-40*mod(t,0.25))"
    subprocess.run(["ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    f"aevalsrc='{expr}':s=44100:d={bars + 2}", "-ac", "1", "-b:a", "64k", path],
                   check=True, timeout=120)


def answer(text_pattern, button="OK"):
    """Waits for a message box whose text matches and presses its button; its text."""
    label = poll(lambda: find(pyatspi.ROLE_LABEL, pattern=text_pattern, only_visible=False), 30)
    if label is None:
        return None
    text = label.name
    target = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, pattern=r"&?" + button), 5)
    if target is None:
        return None
    click(target)
    poll(lambda: find(pyatspi.ROLE_LABEL, pattern=text_pattern, only_visible=False) is None, 10)
    return text


def drag_timeline_to_end():
    """Drags the timeline's handle to its right end: one press of the mouse."""
    global clicks
    bar = find(pyatspi.ROLE_SLIDER)
    if bar is None:
        return False
    x, y, w, h = e2e.extents(bar)
    clicks += 1
    xdo("mousemove", "--sync", str(x + 6), str(y + h // 2))
    xdo("mousedown", "1")
    for step in range(1, 11):
        xdo("mousemove", "--sync", str(x + 6 + (w + 40) * step // 10), str(y + h // 2))
        time.sleep(0.05)
    xdo("mouseup", "1")
    return True


def entries(ntf):
    with open(ntf, newline="", encoding="utf-8") as f:
        return [line for line in f.read().split("\r\n") if line]


def make_project(proc, name, pdf, audio, bars):
    """Wizard, automatic mode, Find Bars, Finish, Edit, Align, Save; the clicks it took."""
    global clicks
    clicks = 0
    record = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Record"), 40)
    if not check("start screen shows Record", record is not None and proc.poll() is None):
        return None
    click(record)
    select = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Select"), 15)
    if not check("wizard shows \"Select\"", select is not None):
        return None
    click(select)
    if not choose_file("Choose Audio File for the Notes.", audio):
        return None
    add = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Add"), 15)
    if not check("wizard shows \"Add\"", add is not None):
        return None
    click(add)
    if not choose_file("Select an image file that contains your music scores.", pdf):
        return None
    listed = poll(lambda: (lambda l: l is not None and l.childCount == 2)(
        find(pyatspi.ROLE_LIST, "Music sheets")), 60)
    check("the PDF is listed as two pages", bool(listed))
    auto = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Go - AUTOMATIC Mode"), 15)
    if not check("wizard shows the automatic mode", auto is not None):
        return None
    click(auto)

    # The start of the music: the recording's start, where it waits.
    go_on = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Continue"), 30)
    if not check("the start is asked for with Continue", go_on is not None):
        return None
    poll(lambda: transport("Play") is not None, 30)
    click(go_on)
    check("the end is asked for", answer(r"Again, on the MP3 track.*") is not None)
    # The end of the music: the recording's end, two seconds past the last bar's.
    if not check("the timeline is found", drag_timeline_to_end()):
        return None
    check("the timeline reaches the end", bool(poll(
        lambda: (e2e.position_seconds() or 0) >= bars - 1, 10)), repr(e2e.position_seconds()))
    go_on = find(pyatspi.ROLE_PUSH_BUTTON, "Continue")
    if not check("Continue is still offered", go_on is not None):
        return None
    click(go_on)
    check("boxes are asked for", answer(r"Now Press at the beginning.*") is not None)

    find_bars = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Find Bars"), 15)
    if not check("\"Find Bars\" is on the toolbar", find_bars is not None):
        return None
    click(find_bars)
    lst = poll(lambda: (lambda l: l if l is not None and l.childCount >= bars else None)(
        e2e.marker_list()), 60)
    shot(f"{name}-bars-found")
    check(f"a box at each of the {bars} bars", lst is not None and lst.childCount == bars,
          f"{e2e.marker_list().childCount if e2e.marker_list() else None} entries")

    finish = find(pyatspi.ROLE_PUSH_BUTTON, "Finish")
    if not check("Finish found", finish is not None):
        return None
    click(finish)
    check("Finish saves", answer(r"Saved\.") is not None)

    edit = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Edit"), 15)
    if not check("Edit found", edit is not None):
        return None
    click(edit)
    check("\"Editing Mode.\" is shown", answer(r"Editing Mode\.") is not None)
    poll(lambda: find(pyatspi.ROLE_LABEL, pattern=r"Recording analysed: \d+ onsets"), 60)
    lst = e2e.marker_list()
    if not check("index list found", lst is not None):
        return None
    click(lst, "3")
    item = poll(lambda: find(pyatspi.ROLE_MENU_ITEM, "Align to Recording"), 3)
    if item is not None:
        click(item)
    else:
        for _ in range(3):
            key("Down")
            time.sleep(0.2)
        key("Return")
    # Align asks (Yes) or says why it keeps the markers (OK).
    label = poll(lambda: find(pyatspi.ROLE_LABEL, pattern=r"(\d+ of \d+ markers will move|"
                                                          r".*markers stay as they are).*",
                              only_visible=False), 30)
    log(f"Align said: {label.name if label is not None else None!r}")
    if label is not None:
        answer(re.escape(label.name[:30]) + ".*",
               "Yes" if re.match(r"\d+ of \d+ markers will move", label.name) else "OK")
    save = find(pyatspi.ROLE_PUSH_BUTTON, "Save")
    if not check("Save found", save is not None):
        return None
    click(save)
    check("\"Saved.\" is shown", answer(r"Saved\.") is not None)
    shot(f"{name}-saved")
    return clicks


def plays_bar_by_bar(proc, bars):
    """Plays the saved project from its start: the marker steps from bar to bar."""
    # The timeline was left at the end: back to the start first.
    back, play = transport("Stop"), transport("Play")
    if not check("Stop and Play found", back is not None and play is not None):
        return
    e2e.click(back)
    check("the recording is back at its start",
          bool(poll(lambda: e2e.position_seconds() == 0, 10)), repr(e2e.position_seconds()))
    e2e.click(play)
    seen = []
    end = time.monotonic() + 6
    while time.monotonic() < end:
        item = e2e.selected_index_item()
        if item and (not seen or seen[-1] != item):
            seen.append(item)
        time.sleep(0.05)
    log(f"marker showed {seen}")
    check("the marker moves on bar by bar as the recording plays", len(seen) >= 4, repr(seen))


def close(proc):
    x = e2e.close_box()
    if check("close box found", x is not None):
        e2e.click(x)
        e2e.expect_exit(proc, "after the project was made")


def main():
    os.makedirs(SOURCES, exist_ok=True)
    os.makedirs(OUT, exist_ok=True)
    counts = {}
    for bars in (32, 64):
        name = f"Steady {bars}"
        pdf = os.path.join(SOURCES, f"{name}.pdf")
        shutil.copy(os.path.join(HERE, "data", f"{name}.pdf"), pdf)
        audio = os.path.join(SOURCES, f"Steady{bars}.mp3")
        make_recording(audio, bars)

        def making(proc, name=name, pdf=pdf, audio=audio, bars=bars):
            counts[bars] = make_project(proc, name, pdf, audio, bars)
            if counts[bars] is not None:
                plays_bar_by_bar(proc, bars)
            close(proc)

        e2e.with_program(making)
        ntf = os.path.join(NOTES, f"Steady{bars}", f"Steady{bars}.ntf")
        if check(f"{bars} bars: the project was saved", os.path.isfile(ntf)):
            saved = entries(ntf)
            times = [float(e.split("=", 1)[0]) for e in saved]
            near = sum(abs(t - round(t)) <= 0.05 for t in times)
            log(f"MEASURE {bars} bars: {counts[bars]} clicks; {len(saved)} entries, "
                f"{near} within 50 ms of a downbeat")
            check(f"{bars} bars: one entry per bar, each on its downbeat",
                  len(saved) == bars and near == bars, f"{len(saved)} entries, {near} on downbeats")
    check(f"at most {MOST_CLICKS} clicks for 32 bars", counts.get(32) is not None
          and counts[32] <= MOST_CLICKS, repr(counts.get(32)))
    check("no more clicks for twice as many bars", counts.get(64) is not None
          and counts.get(32) is not None and counts[64] <= counts[32], repr(counts))
    return e2e.tally()


if __name__ == "__main__":
    e2e.run_scenario(main)
