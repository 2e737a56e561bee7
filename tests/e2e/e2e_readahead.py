#!/usr/bin/python3
"""Whole-program test: the half-page turn of "Read Ahead".

Started by run_e2e.sh (E2E_SCRIPT=e2e_readahead.py) inside its own X server and D-Bus
session, with the same arguments as e2e.py, whose helpers it uses. The demo project is
opened from the command line, "Read Ahead" is switched on by its label and the recording
plays across its first page break (at 10 s). The page pictures on the accessibility bus
tell the story: "Next page: Page 2 (read ahead)" appears while "Notes page: Page 1" is
still the page, at least two seconds before the break, and is gone once the page is Page 2.
The second turn is then ended by hand (Right Arrow) before its break.

Usage: e2e_readahead.py APP NOTES_DIR DEMO_DIR OUT_DIR
"""

import os
import time

import pyatspi

import e2e
from e2e import check, click, find, key, log, poll, shot, transport

NTS = os.path.join(e2e.NOTES, "Minuet", "Minuet.nts")
BREAK = 10.0  # the demo's first entry on Page 2


def page_names():
    """The names of the page pictures on view: the page itself and any page read ahead."""
    main = find(pattern=r"Notes page: Page \d+")
    ahead = find(pattern=r"Next page: Page \d+ \(read ahead\)")
    return (main.name if main else None, ahead.name if ahead else None)


def watch_turn(number, until):
    """Samples the page pictures until the page is Page number or `until` seconds pass.
    Returns (seconds the next page showed before the turn, names seen)."""
    start = time.monotonic()
    seen_ahead = None
    turned = None
    log_names = []
    while time.monotonic() - start < until:
        names = page_names()
        now = time.monotonic()
        if not log_names or log_names[-1][1] != names:
            log_names.append((round(now - start, 2), names))
        if names[1] == f"Next page: Page {number} (read ahead)" and seen_ahead is None:
            seen_ahead = now
            shot(f"read-ahead-page-{number}")
        if names[0] == f"Notes page: Page {number}":
            turned = now
            break
        time.sleep(0.05)
    lead = turned - seen_ahead if turned and seen_ahead else None
    return lead, log_names


def play_across_breaks(proc):
    play = poll(lambda: transport("Play"), 40)
    if not check("the demo named on the command line opens", play is not None):
        return
    label = poll(lambda: find(pyatspi.ROLE_LABEL, "Read Ahead"), 15)
    if not check("\"Read Ahead\" is among the marker options", label is not None):
        return
    click(label)
    check("Page 1 shown, nothing read ahead before playing",
          bool(poll(lambda: page_names() == ("Notes page: Page 1", None), 10)),
          repr(page_names()))
    click(play)
    lead, names = watch_turn(2, BREAK + 15)
    log(f"page pictures seen (s since Play, names): {names}")
    check("the next page shows before the break while Page 1 is the page",
          any(n == ("Notes page: Page 1", "Next page: Page 2 (read ahead)") for _, n in names),
          repr(names))
    # Sampling the bus takes a tenth of a second or so: a little is allowed for it.
    check("Page 2 read ahead at least two seconds before it sounds",
          lead is not None and lead >= 1.8, f"lead={lead}")
    after = poll(lambda: page_names() == ("Notes page: Page 2", None), 3, 0.05)
    shot("turned-2")
    check("after the break Page 2 is the page and the part read ahead is gone", bool(after),
          repr(page_names()))

    # The second break: the part read ahead goes when the page is turned by hand.
    ahead = poll(lambda: page_names()[1] == "Next page: Page 3 (read ahead)", 15, 0.05)
    check("Page 3 read ahead before the second break", bool(ahead), repr(page_names()))
    key("Right")
    by_hand = poll(lambda: page_names() == ("Notes page: Page 3", None), 5, 0.05)
    shot("turned-3-by-hand")
    check("Right Arrow turns the page and ends the half turn", bool(by_hand), repr(page_names()))
    check("program running", proc.poll() is None, f"exited with {proc.poll()}")


def main():
    os.makedirs(e2e.OUT, exist_ok=True)
    e2e.with_program(play_across_breaks, NTS)
    return e2e.tally()


if __name__ == "__main__":
    e2e.run_scenario(main)
