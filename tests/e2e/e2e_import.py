#!/usr/bin/python3
"""Whole-program test: a project made from the files people have.

Started by run_e2e.sh (E2E_SCRIPT=e2e_import.py) inside its own X server and D-Bus
session, with the same arguments as e2e.py, whose helpers it uses. The wizard makes a
project from a FLAC recording and a 3-page PDF; one marker is clicked on each page in
manual mode and the project is saved. The program is then started again with the
project's path on its command line: the project opens after the splash without a
dialog, plays, and turns its pages by itself.

Usage: e2e_import.py APP NOTES_DIR DEMO_DIR OUT_DIR
"""

import os
import re
import subprocess
import time

import pyatspi

import e2e
from e2e import (check, choose_file, click, find, key, log, poll, shot, transport,
                 window_titled, xdo)

APP, NOTES, OUT = e2e.APP, e2e.NOTES, e2e.OUT
SOURCES = os.path.join(os.path.dirname(NOTES), "sources")
AUDIO = os.path.join(SOURCES, "Etude.flac")
SCORE = os.path.join(SOURCES, "Etude score.pdf")
PROJECT = os.path.join(NOTES, "Etude")
NTS = os.path.join(PROJECT, "Etude.nts")


def write_pdf(path, pages):
    """A PDF of A4 pages with staff lines, note heads and a bar whose place gives the page."""
    objects = ["<< /Type /Catalog /Pages 2 0 R >>", None]
    kids = []
    for page in range(pages):
        ops = ["0 g"]
        for top in range(760, 80, -70):
            for line in range(5):
                ops.append(f"40 {top - 7 * line} 515 0.6 re f")
            for x in range(70, 540, 18):
                y = top - 14 + 3.5 * ((x * 7 + top + page) % 9 - 4)
                ops.append(f"{x} {y:.1f} 6 5 re f")
        ops.append(f"{40 + 60 * page} 800 12 30 re f")
        content = "\n".join(ops).encode()
        objects.append(f"<< /Length {len(content)} >>\nstream\n".encode() + content
                       + b"\nendstream")
        content_no = len(objects)
        objects.append(f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                       f"/Contents {content_no} 0 R /Resources << >> >>")
        kids.append(f"{len(objects)} 0 R")
    objects[1] = f"<< /Type /Pages /Kids [{' '.join(kids)}] /Count {pages} >>"
    body = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, obj in enumerate(objects, 1):
        offsets.append(len(body))
        data = obj if isinstance(obj, bytes) else obj.encode()
        body += f"{number} 0 obj\n".encode() + data + b"\nendobj\n"
    xref = len(body)
    body += f"xref\n0 {len(objects) + 1}\n0000000000 65535 f \n".encode()
    for offset in offsets:
        body += f"{offset:010d} 00000 n \n".encode()
    body += (f"trailer << /Size {len(objects) + 1} /Root 1 0 R >>\n"
             f"startxref\n{xref}\n%%EOF\n").encode()
    with open(path, "wb") as f:
        f.write(body)


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except Exception:
        return None


def click_sheet(page):
    """Clicks the shown page inside the sheet's visible area, at a place of its own per page."""
    image = find(pattern=r"Notes page: Page \d+")
    view = find(name="Notes sheet")
    if image is None or view is None:
        return False
    ix, iy, iw, ih = e2e.extents(image)
    vx, vy, vw, vh = e2e.extents(view)
    left, top = max(ix, vx), max(iy, vy)
    right, bottom = min(ix + iw, vx + vw), min(iy + ih, vy + vh)
    x, y = left + 80 + 120 * page, top + 80 + 60 * page
    if x >= right or y >= bottom:
        return False
    xdo("mousemove", "--sync", str(x), str(y))
    xdo("click", "1")
    return True


def wait_position(seconds):
    return poll(lambda: (e2e.position_seconds() or 0) >= seconds, 30, 0.1)


def make_project(proc):
    record = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Record"), 40)
    if not check("start screen shows Record", record is not None):
        return False
    if not check("program running", proc.poll() is None):
        return False
    click(record)
    select = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Select"), 15)
    shot("wizard")
    if not check("wizard step 1 shows \"Select\"", select is not None):
        return False
    click(select)
    if not choose_file("Choose Audio File for the Notes.", AUDIO):
        return False
    name = poll(lambda: text_of(find(pyatspi.ROLE_TEXT, "Enter Project Name:")) == "Etude", 10)
    check("the proposed project name is \"Etude\" (no dot left)", bool(name),
          repr(text_of(find(pyatspi.ROLE_TEXT, "Enter Project Name:"))))

    add = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Add"), 15)
    if not check("step 2 shows \"Add\"", add is not None):
        return False
    click(add)
    if not choose_file("Select an image file that contains your music scores.", SCORE):
        return False
    listed = poll(lambda: (lambda l: l is not None and l.childCount == 3)(
        find(pyatspi.ROLE_LIST, "Music sheets")), 30)
    shot("wizard-pages")
    check("the PDF is listed one line per page", bool(listed))

    manual = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Go -  MANUAL mode"), 15)
    if not check("step 3 shows the manual mode", manual is not None):
        return False
    click(manual)
    play = poll(lambda: transport("Play"), 30)
    shot("project-made")
    if not check("the new project opens with the transport", play is not None):
        return False
    check("the new project shows Page 1", bool(poll(lambda: e2e.page_text() == "Page 1", 10)),
          repr(e2e.page_text()))

    # One marker on each page: play, click the sheet, turn the page with Right Arrow.
    click(play)
    for page, at in ((1, 1), (2, 3), (3, 5)):
        if page > 1:
            key("Right")
            check(f"Right Arrow shows Page {page}",
                  bool(poll(lambda: e2e.page_text() == f"Page {page}", 10)), repr(e2e.page_text()))
        wait_position(at)
        if not check(f"a click on page {page} marks it", click_sheet(page)):
            return False
    shot("marked")
    lst = e2e.marker_list()
    check("three markers are listed", lst is not None and lst.childCount == 3,
          f"{lst.childCount if lst is not None else None} listed")

    save = find(pyatspi.ROLE_PUSH_BUTTON, "Save")
    if not check("Save found", save is not None):
        return False
    click(save)
    saved = poll(lambda: find(pyatspi.ROLE_LABEL, "Saved.", only_visible=False), 15)
    check("\"Saved.\" is shown", bool(saved))
    key("Return")
    poll(lambda: find(pyatspi.ROLE_LABEL, "Saved.", only_visible=False) is None, 10)
    return True


def close(proc, what):
    x = e2e.close_box()
    if not check(f"close box found ({what})", x is not None):
        return
    click(x)
    e2e.expect_exit(proc, f"({what})")


def check_files():
    with open(NTS, encoding="utf-8") as f:
        lines = f.read().splitlines()
    values = dict(line.split("=", 1) for line in lines if "=" in line)
    pages = [values.get(f"NotesFile{k}", "") for k in range(3)]
    check("the project names three pages", values.get("NotesAmount") == "3"
          and all(re.fullmatch(rf"Etude score_{k + 1}\.(gif|jpg)", p) for k, p in enumerate(pages)),
          repr(pages))
    check("the page images are in the project folder",
          all(os.path.isfile(os.path.join(PROJECT, p)) for p in pages))
    check("the recording is copied as it was", values.get("AudioFile") == "Etude.flac"
          and os.path.getsize(os.path.join(PROJECT, "Etude.flac")) == os.path.getsize(AUDIO))
    with open(os.path.join(PROJECT, "Etude.ntf"), encoding="utf-8") as f:
        marked = [int(m.group(1)) for m in re.finditer(r"\{\d+\}\{\d+\}\{(\d+)\}", f.read())]
    check("one marker on each page", marked == [0, 1, 2], repr(marked))


def replay(proc):
    """The program started with the project's path: it opens without a dialog and plays."""
    play = poll(lambda: transport("Play"), 40)
    shot("opened-from-command-line")
    if not check("the project named on the command line opens", play is not None):
        return
    check("no Open dialog was needed", not window_titled("Select File"))
    check("the window title is \"Play a Folivant.\"", bool(window_titled("Play a Folivant.")))
    check("it opens on Page 1", bool(poll(lambda: e2e.page_text() == "Page 1", 10)),
          repr(e2e.page_text()))
    click(play)
    for page in (2, 3):
        turned = poll(lambda: e2e.page_text() == f"Page {page}", 30, 0.1)
        shot(f"turned-{page}")
        check(f"turns to Page {page} by itself while playing", bool(turned),
              f"page={e2e.page_text()!r} pos={e2e.position_seconds()}")


def main():
    os.makedirs(SOURCES, exist_ok=True)
    os.makedirs(OUT, exist_ok=True)
    subprocess.run(["ffmpeg", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=44100:duration=40", AUDIO], check=True)
    write_pdf(SCORE, 3)

    def making(proc):
        if make_project(proc):
            close(proc, "after making the project")

    e2e.with_program(making)
    if not check("the project file was written", os.path.isfile(NTS)):
        return 1
    check_files()

    def playing(proc):
        replay(proc)
        close(proc, "after playing")

    e2e.with_program(playing, NTS)
    return e2e.tally()


if __name__ == "__main__":
    e2e.run_scenario(main)
