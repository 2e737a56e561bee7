#!/usr/bin/python3
"""Whole-program test: drives the built program as a user would.

Started by run_e2e.sh inside its own X server and D-Bus session. The program is
started here, found through the accessibility bus, and operated with real mouse
clicks and key presses (xdotool) at the places the accessibility bus reports.
Only plain accessors are used on the program's accessible objects (role, name,
children, extents, states); the properties interface is never asked for all
properties at once.

Usage: e2e.py APP NOTES_DIR DEMO_DIR OUT_DIR [--measure]
"""

import hashlib
import os
import re
import subprocess
import sys
import time

import pyatspi

APP, NOTES, DEMO, OUT = sys.argv[1:5]
MEASURE = "--measure" in sys.argv[5:]
PROJECT = os.path.join(NOTES, "Minuet")
FILES = ["Minuet.nts", "Minuet.ntf", "Minuet.mp3", "Minuet_1.jpg", "Minuet_2.jpg", "Minuet_3.jpg"]

passed = 0
failed = 0
shot_no = 0


def log(text):
    print(text, flush=True)


def check(what, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        log(f"PASS {what}")
    else:
        failed += 1
        log(f"FAIL {what} {detail}")
    return ok


def shot(name):
    global shot_no
    shot_no += 1
    path = os.path.join(OUT, f"{shot_no:02d}-{name}.png")
    subprocess.run(["import", "-window", "root", path], stderr=subprocess.DEVNULL, timeout=30)
    return path


def poll(fn, timeout, interval=0.25):
    """Calls fn until it returns something true or the time runs out; returns the last value."""
    end = time.monotonic() + timeout
    while True:
        try:
            value = fn()
        except Exception:  # the tree may change under our feet
            value = None
        if value or time.monotonic() > end:
            return value
        time.sleep(interval)


def xdo(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, timeout=30)


def window_titled(title):
    r = xdo("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$")
    return r.stdout.split()


# --- accessibility helpers -------------------------------------------------------------

def choose_file(title, path):
    """Types a path into the open-file dialog of that title."""
    dialog = poll(lambda: window_titled(title), 30)
    if not check(f"dialog \"{title}\" opens", bool(dialog)):
        return False
    time.sleep(0.5)
    xdo("windowactivate", "--sync", dialog[0])
    xdo("type", "--delay", "30", path)
    key("Return")
    return bool(poll(lambda: not window_titled(title), 15))


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return (e.x, e.y, e.width, e.height)


def visible(acc):
    try:
        _, _, w, h = extents(acc)
        return w > 0 and h > 0
    except Exception:
        return False


def children(acc):
    try:
        n = acc.childCount
    except Exception:
        return []
    out = []
    for i in range(n):
        try:
            c = acc.getChildAtIndex(i)
        except Exception:
            continue
        if c is not None:
            out.append(c)
    return out


def walk(acc, depth=0, maxdepth=14):
    yield acc
    if depth < maxdepth:
        for c in children(acc):
            yield from walk(c, depth + 1, maxdepth)


def application():
    desk = pyatspi.Registry.getDesktop(0)
    for app in children(desk):
        try:
            if app.name == "Folivant with Kinsoro":
                return app
        except Exception:
            pass
    return None


def find(role=None, name=None, pattern=None, root=None, only_visible=True, where=None):
    """First accessible under root with the given role and name (or name pattern)."""
    root = root or application()
    if root is None:
        return None
    for acc in walk(root):
        try:
            if role is not None and acc.getRole() != role:
                continue
            n = acc.name
            if name is not None and n != name:
                continue
            if pattern is not None and not re.fullmatch(pattern, n or "", re.S):
                continue
            if only_visible and not visible(acc):
                continue
            if where is not None and not where(acc):
                continue
            return acc
        except Exception:
            continue
    return None


def sibling_named(acc, name):
    try:
        return any(c.name == name for c in children(acc.parent))
    except Exception:
        return False


def click(acc, button="1"):
    x, y, w, h = extents(acc)
    xdo("mousemove", "--sync", str(x + w // 2), str(y + h // 2))
    xdo("click", button)


def key(name):
    xdo("key", name)


def selected_child_name(acc):
    for c in children(acc):
        try:
            if c.getState().contains(pyatspi.STATE_SELECTED):
                return c.name
        except Exception:
            pass
    return None


# --- the program's controls ------------------------------------------------------------

def bottom_panel():
    """The transport panel: the one holding "Open another Folivant File"."""
    b = find(pyatspi.ROLE_PUSH_BUTTON, "Open another Folivant File")
    return b.parent if b is not None else None


def transport(name):
    panel = bottom_panel()
    return find(pyatspi.ROLE_PUSH_BUTTON, name, root=panel) if panel is not None else None


def position_seconds():
    panel = bottom_panel()
    label = find(pyatspi.ROLE_LABEL, pattern=r"\d\d:\d\d", root=panel) if panel else None
    if label is None:
        return None
    m, s = label.name.split(":")
    return int(m) * 60 + int(s)


def status_text():
    """The player's status label: the label just after the position label."""
    panel = bottom_panel()
    if panel is None:
        return None
    kids = children(panel)
    for i, c in enumerate(kids):
        try:
            if c.getRole() == pyatspi.ROLE_LABEL and re.fullmatch(r"\d\d:\d\d", c.name or ""):
                return kids[i + 1].name if i + 1 < len(kids) else None
        except Exception:
            continue
    return None


def page_text():
    """The page list's current item: the combo box reports it as its name."""
    combo = find(pyatspi.ROLE_COMBO_BOX, pattern=r"Page \d+")
    return combo.name if combo is not None else None


def marker_list():
    """The marker list: the list with the most items beside the "Index" label."""
    label = find(pyatspi.ROLE_LABEL, "Index")
    if label is None:
        return None
    best = None
    for c in children(label.parent):
        try:
            if c.getRole() == pyatspi.ROLE_LIST and (best is None or c.childCount > best.childCount):
                best = c
        except Exception:
            continue
    return best


def selected_index_item():
    lst = marker_list()
    return selected_child_name(lst) if lst is not None else None


# --- process figures -------------------------------------------------------------------

def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def digests():
    out = {}
    for name in FILES:
        path = os.path.join(PROJECT, name)
        with open(path, "rb") as f:
            out[name] = (hashlib.sha256(f.read()).hexdigest(), os.stat(path).st_mtime_ns)
    return out


# --- the run ---------------------------------------------------------------------------

def open_demo(proc):
    """Splash, start screen, "Play", the file dialog, the project opened."""
    splash = poll(lambda: window_titled("Folivant with Kinsoro")
                  or find(pyatspi.ROLE_LABEL, "Version"), 30, 0.1)
    shot("splash")
    if not check("program running", proc.poll() is None, f"exited with {proc.poll()}"):
        return False
    check("splash window shown", bool(splash))
    texts = poll(lambda: find(pyatspi.ROLE_LABEL, "Version") and
                 find(pyatspi.ROLE_LABEL, pattern=r"Folivant(\n.*)*"), 5, 0.1)
    check("splash shows \"Folivant\" and \"Version\"", bool(texts) or bool(splash),
          "(texts not readable in time)")

    start_play = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "Play",
                                   where=lambda a: sibling_named(a, "Record")), 40)
    shot("start-screen")
    if not check("start screen shows Play", start_play is not None):
        return False
    check("start screen shows Record and Kinsoro",
          find(pyatspi.ROLE_PUSH_BUTTON, "Record") is not None
          and find(pyatspi.ROLE_PUSH_BUTTON, "Kinsoro", where=lambda a: sibling_named(a, "Record"))
          is not None)
    splash_gone = poll(lambda: find(pyatspi.ROLE_LABEL, "Version") is None, 10)
    check("splash gone once the start screen shows", bool(splash_gone))

    click(start_play)
    dialog = poll(lambda: window_titled("Select File"), 30)
    shot("file-dialog")
    if not check("file dialog \"Select File\" opens", bool(dialog)):
        return False
    time.sleep(0.5)
    xdo("windowactivate", "--sync", dialog[0])
    xdo("type", "--delay", "40", "Minuet/Minuet.nts")
    key("Return")

    titled = poll(lambda: window_titled("Play a Folivant."), 30)
    check("window title becomes \"Play a Folivant.\"", bool(titled))
    play = poll(lambda: transport("Play"), 30)
    shot("project-open")
    check("main panel shows the transport", play is not None)
    check("opened at 00:00 on Page 1", poll(lambda: position_seconds() == 0 and
                                             page_text() == "Page 1", 10),
          f"pos={position_seconds()} page={page_text()!r}")
    return play is not None


def launch(*args):
    """Starts the program with args on its command line, on this X server and bus, with the
    test's Notes folder, the null audio output and an update host that refuses at once."""
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               FOLIVANT_NOTES_DIR=NOTES, FOLIVANT_AUDIO_OUTPUT="null",
               FOLIVANT_UPDATE_HOST="127.0.0.1:9")
    proc = subprocess.Popen([APP, *args], env=env)
    # A program that could not reach the X server dies at once; a busy machine has been
    # seen to refuse the first connection to a fresh server. One more start tells that
    # apart from a program that cannot start at all.
    try:
        proc.wait(timeout=3)
        log(f"note: the program ended at once (status {proc.returncode}); starting it again")
        proc = subprocess.Popen([APP, *args], env=env)
    except subprocess.TimeoutExpired:
        pass
    return proc


def with_program(steps, *args):
    """Starts the program with args and runs steps(proc); the program is killed afterwards
    if it is still running."""
    proc = launch(*args)
    try:
        steps(proc)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def tally():
    """Logs the count of checks; the exit status of a scenario."""
    log(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


def run_scenario(main):
    """Runs a scenario's main and exits with its status; a broken step still ends with the
    tally."""
    try:
        sys.exit(main())
    except Exception:
        import traceback

        traceback.print_exc()
        log(f"{passed} passed, {failed + 1} failed")
        sys.exit(1)


def main():
    os.makedirs(OUT, exist_ok=True)
    before = digests()

    def steps(proc):
        if open_demo(proc):
            if MEASURE:
                measure(proc)
            else:
                practise(proc)
        close(proc)

    with_program(steps)
    after = digests()
    check("project files unchanged on disk", before == after,
          str([n for n in FILES if before[n] != after[n]]))
    return tally()


def practise(proc):
    index0 = selected_index_item()
    click(transport("Play"))
    playing = poll(lambda: (position_seconds() or 0) >= 4, 30)
    shot("playing-4s")
    check("position advances while playing", bool(playing), f"pos={position_seconds()}")
    check("status reads \"Playing\"", status_text() == "Playing", repr(status_text()))
    index4 = poll(lambda: (lambda s: s if s and s != index0 else None)(selected_index_item()), 5)
    check("selected index item follows the playback", index4 is not None,
          f"before={index0!r} now={selected_index_item()!r}")

    turned = poll(lambda: page_text() == "Page 2", 40)
    shot("page-2")
    check("page turns to Page 2 by itself", bool(turned),
          f"page={page_text()!r} pos={position_seconds()}")
    check("Page 2 shows at about 10 s", 9 <= (position_seconds() or 0) <= 14,
          f"pos={position_seconds()}")

    key("space")
    paused = poll(lambda: status_text() == "Paused", 15)
    shot("paused")
    check("Space pauses: status \"Paused\"", bool(paused), repr(status_text()))
    p1 = position_seconds()
    time.sleep(2.5)
    p2 = position_seconds()
    check("position holds while paused", p1 is not None and p1 == p2, f"{p1} -> {p2}")

    key("Right")
    page3 = poll(lambda: page_text() == "Page 3", 15)
    shot("page-3")
    check("Right Arrow shows Page 3", bool(page3), repr(page_text()))

    tempo = find(pyatspi.ROLE_LABEL, "Tempo/Pitch")
    if check("Tempo/Pitch found", tempo is not None):
        click(tempo)
        plus = poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "+"), 15)
        shot("tempo-panel")
        if check("tempo panel opens with \"+\"", plus is not None):
            click(plus)
            faster = poll(lambda: find(pyatspi.ROLE_LABEL, "1.1X"), 15)
            shot("tempo-1.1")
            check("\"+\" once gives 1.1X", faster is not None)
            ok = find(pyatspi.ROLE_PUSH_BUTTON, "OK", root=plus.parent)
            if ok is not None:
                click(ok)
                poll(lambda: find(pyatspi.ROLE_PUSH_BUTTON, "+") is None, 10)
    replay()


def replay():
    """Marks a passage while playing and loops it."""
    start = find(pyatspi.ROLE_PUSH_BUTTON, "R")
    end = find(pyatspi.ROLE_PUSH_BUTTON, "Mark replay end position")
    loop = find(pyatspi.ROLE_PUSH_BUTTON, "Play Replay")
    if not check("replay buttons found", None not in (start, end, loop)):
        return
    key("space")  # resume
    poll(lambda: status_text() == "Playing", 15)
    click(start)
    a = position_seconds() or 0
    poll(lambda: (position_seconds() or 0) >= a + 3, 15)
    click(end)
    b = position_seconds() or 0
    click(loop)
    back = poll(lambda: (position_seconds() or 99) <= a + 1, 10)
    shot("replay-loop")
    check("Play Replay jumps back to the start mark", bool(back), f"start {a} s, end {b} s")
    seen = []
    t0 = time.monotonic()
    while time.monotonic() - t0 < 8:
        seen.append(position_seconds() or 0)
        time.sleep(0.25)
    check("the passage loops between the marks", max(seen) <= b + 1 and min(seen) >= a - 1,
          f"marks {a}-{b} s, seen {min(seen)}-{max(seen)} s")


def measure(proc):
    """Plays the demo to its end, sampling the process's memory and CPU time."""
    hz = os.sysconf("SC_CLK_TCK")
    click(transport("Play"))
    poll(lambda: (position_seconds() or 0) >= 1, 30)
    t0, c0 = time.monotonic(), cpu_ticks(proc.pid)
    rss = []
    last_pos, last_change = None, time.monotonic()
    while time.monotonic() - t0 < 60:
        rss.append(rss_kib(proc.pid))
        pos = position_seconds()
        if pos != last_pos:
            last_pos, last_change = pos, time.monotonic()
        elif time.monotonic() - last_change > 3:
            break  # the position stopped: the recording has ended
        time.sleep(0.5)
    t1, c1 = time.monotonic(), cpu_ticks(proc.pid)
    shot("played-to-end")
    cpu = 100.0 * (c1 - c0) / hz / (t1 - t0)
    log(f"MEASURE playback {t1 - t0:.1f} s to position {last_pos} s (status {status_text()!r}); "
        f"RSS min {min(rss) / 1024:.1f} MiB, max {max(rss) / 1024:.1f} MiB; "
        f"CPU {cpu:.1f} % of one core (includes the accessibility queries of this script)")
    check("playback reaches the end", (last_pos or 0) >= 29, f"pos={last_pos}")


def close_box():
    """The window's close box: the label "X" beside the "_" box."""
    return find(pyatspi.ROLE_LABEL, "X", where=lambda a: sibling_named(a, "_"))


def expect_exit(proc, what):
    """Checks that the program ends with status 0 within 20 s."""
    try:
        rc = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        shot("not-closed")
        rc = None
    check(f"program exits with status 0 {what}", rc == 0, f"rc={rc}")


def close(proc):
    # In editing mode, closing asks whether to save; No leaves the files as they were.
    edit = find(pyatspi.ROLE_PUSH_BUTTON, "Edit")
    if check("Edit found", edit is not None):
        click(edit)
        told = poll(lambda: find(pyatspi.ROLE_LABEL, "Editing Mode.", only_visible=False), 15)
        check("\"Editing Mode.\" is shown", bool(told))
        key("Return")
        poll(lambda: find(pyatspi.ROLE_LABEL, "Editing Mode.", only_visible=False) is None, 10)
    x = close_box()
    if not check("close box \"X\" found", x is not None):
        return
    click(x)
    asked = poll(lambda: find(pyatspi.ROLE_LABEL, "Save?", only_visible=False), 15)
    shot("close-question")
    check("closing asks \"Save?\"", bool(asked))
    key("Escape")  # No
    expect_exit(proc, "after \"X\"")


if __name__ == "__main__":
    run_scenario(main)
