#!/usr/bin/env python3
"""quillfen.exe under Wine on a virtual X server, driven from outside with real
input (xdotool: Wine's windows are X windows).

The program writes every box it shows, and its window with the controls once it
is on screen, to the log named by QUILLFEN_UI_LOG (Qt draws its boxes itself, so
their text cannot be read from outside). The stand-in spreadsheet server is
registered as the spreadsheet application and appends every call it serves to a
file; each run's calls are compared, call by call, with what expected_run_calls
prints for it.

Checked:
  - without a spreadsheet application: with the engine inside, the window
    opens (the engine's runs are tested by wine_engine_test.py); without it,
    the advice shows, no window, and the program ends when it is answered;
  - with a spreadsheet application registered that cannot start, the advice;
  - the window: caption, size, controls (a screenshot is kept);
  - entries added through "Add URL", "Start Importing" onto one sheet and, after
    switching the option, onto separate sheets, and the "Done." box;
  - the sheet mode kept in the registry and in force at the next start, where
    the entries come from a list file chosen in the system's file dialog;
  - a web query the spreadsheet refuses: the error report boxes, then "Done."
    naming that page.

  wine_app_test.py --exe quillfen.exe --server fake_spreadsheet_server.exe
                   --expected expected_run_calls.exe --out <folder for artefacts>
                   --support-email <the address the boxes name> --engine yes|no
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT = 120  # seconds for anything to appear on a busy machine

MISSING_ADVICE = (
    "Error 842001. A normal instance of Excel could not be created.\n\n"
    "1. Please make sure Excel is installed on this computer.\n\n"
    "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
    "interrupting window (such as an Excel file recovery window).\n\n"
    "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally "
    "without any interrupting messages.\n\n"
    "4. All versions of Excel are supported by this software except for the rare Excel Starter and "
    "Student editions.")

# The window's inside at 96 dots an inch (8040 x 6990 twips) and its controls.
WINDOW_SIZE = (536, 466)
CONTROLS = {
    "ListView1": None,
    "PushButton8": "Help",
    "PushButton5": "Move Up",
    "PushButton6": "Move Down",
    "PushButton4": "Add URL",
    "PushButton13": "Load URLs From Text File",
    "PushButton11": "Clear List",
    "PushButton3": "Load Sample/Example URLs",
    "PushButton17": "Remove Filenames Containing X",
    "PushButton1": "Remove Filenames Not Cont. X",
    "Frame1": "Import Options",
    "Option1": "Import all web sites to one sheet",
    "Option2": "Import each web site to a separate sheet",
    "PushButton2": "Start Importing",
    "ProgressBar1": None,
}

SETTINGS_KEY = r"HKCU\Software\VB and VBA Program Settings\Tarnwick\Quillfen"
SERVER_CLSID = "{5D2C1F0A-7B43-4E8C-9A61-3C0F2B7D9E14}"

failures = []


def check(condition, what):
    if condition:
        print("ok   " + what)
    else:
        print("FAIL " + what)
        failures.append(what)
    return condition


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_for(what, probe, timeout=TIMEOUT):
    end = time.time() + timeout
    while time.time() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.3)
    raise TimeoutError("gave up waiting for " + what)


class Session:
    """The virtual screen, a Wine prefix of its own, and what runs in them."""

    def __init__(self, work, out):
        self.work = work
        self.out = out
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            display = f.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        # A home of its own as well: Wine links the user's Documents folder to it.
        home = os.path.join(work, "home")
        os.makedirs(home, exist_ok=True)
        self.env = dict(os.environ, DISPLAY=":" + display, WINEPREFIX=os.path.join(work, "wine"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", HOME=home)
        self.env.pop("QUILLFEN_UI_LOG", None)
        subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        # The window asks for Arial, which a Wine prefix lacks; Liberation Sans has
        # its metrics, so texts take the room they take on Windows.
        self.reg_add(r"HKCU\Software\Wine\Fonts\Replacements", "Arial", "Liberation Sans")
        self.server = None

    def close(self):
        if self.server:
            self.server.kill()
            self.server.wait()
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        self.xvfb.terminate()
        self.xvfb.wait()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True).stdout

    def screenshot(self, name):
        path = os.path.join(self.out, name)
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        print("screenshot: " + path)

    def reg_add(self, key, name, data, kind="REG_SZ"):
        """Sets a value; a name of None sets the key's default value."""
        subprocess.run(["wine", "reg", "add", key, *(["/v", name] if name else ["/ve"]), "/t", kind, "/d", data, "/f"],
                       env=self.env, stdin=subprocess.DEVNULL, capture_output=True, check=True)

    def reg_query(self, key):
        return subprocess.run(["wine", "reg", "query", key], env=self.env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL).stdout

    def start_server(self, exe, calls_file):
        self.server = subprocess.Popen(
            ["wine", exe, SERVER_CLSID, "QuillfenWineTest", "--progid", "Excel.Application",
             "--log", windows_path(calls_file), "--serve-for", "1200"],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the stand-in server", lambda: os.path.exists(calls_file))


class Program:
    """One start of quillfen.exe, with its log of what it showed."""

    def __init__(self, session, exe, name):
        self.session = session
        self.log_file = os.path.join(session.work, name + ".jsonl")
        env = dict(session.env, QUILLFEN_UI_LOG=windows_path(self.log_file))
        self.process = subprocess.Popen(["wine", exe], env=env, cwd=os.path.dirname(exe),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.seen = 0  # records already taken by next()

    def records(self):
        if not os.path.exists(self.log_file):
            return []
        with open(self.log_file, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def next(self, event):
        """The next record of the log, which must be of this kind."""
        def probe():
            records = self.records()
            if len(records) > self.seen:
                return records[self.seen]
            if self.process.poll() is not None:
                raise AssertionError("the program ended (exit code %s) before a '%s' record"
                                     % (self.process.returncode, event))
            return None
        record = wait_for("a '%s' record" % event, probe)
        self.seen += 1
        if record["event"] != event:
            raise AssertionError("expected a '%s' record, got %r" % (event, record))
        return record

    def box_window(self, caption="Quillfen"):
        """The X window of the box just shown: the newest visible window of the
        program with that caption."""
        def probe():
            ids = self.session.xdotool("search", "--onlyvisible", "--name", "^%s$" % caption).split()
            return str(max(int(i) for i in ids)) if ids else None
        return wait_for("the box's window", probe)

    def answer(self, keys, text=None, caption="Quillfen"):
        """Gives the box that is up the keyboard focus and types into it."""
        box = self.box_window(caption)
        time.sleep(1.0)  # the box takes its own focus once it is up; then ours
        self.session.xdotool("windowfocus", "--sync", box)
        if text:
            self.session.xdotool("type", "--delay", "60", text)
        self.session.xdotool("key", keys)
        return self.next("answer")

    def click(self, window, control):
        c = next(c for c in window["controls"] if c["name"] == control)
        x = window["x"] + c["x"] + c["width"] // 2
        y = window["y"] + c["y"] + c["height"] // 2
        self.session.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def wait_end(self):
        try:
            return self.process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def expected_calls(session, exe, *args):
    out = subprocess.run(["wine", exe, *args], env=session.env, capture_output=True, text=True,
                         stdin=subprocess.DEVNULL, check=True).stdout
    return out.replace("\r\n", "\n").splitlines()


def calls_since(calls_file, start):
    with open(calls_file, encoding="utf-8") as f:
        lines = f.read().splitlines()
    return lines[start:], len(lines)


def compare_calls(what, got, expected):
    if got == expected:
        return check(True, "%s: %d calls, each as expected" % (what, len(expected)))
    for i, (g, e) in enumerate(zip(got, expected)):
        if g != e:
            print("  call %d: got %r\n           expected %r" % (i + 1, g, e))
            break
    print("  %d calls, %d expected" % (len(got), len(expected)))
    return check(False, what + ": calls as expected")


def add_entries(program, window, entries):
    for entry in entries:
        program.click(window, "PushButton4")
        prompt = program.next("input")
        check(prompt["prompt"] == "Enter website address to add: " and prompt["caption"] == "Quillfen",
              "\"Add URL\" asks for the address")
        answer = program.answer("Return", entry)
        check(answer["text"] == entry, "typed address %r reached the program (got %r)" % (entry, answer["text"]))


def load_list_file(program, window, path):
    """"Load URLs From Text File" through the system's file dialog, with the file's
    name typed into it."""
    program.click(window, "PushButton13")
    dialog = program.next("file dialog")
    check(dialog["title"] == "Add File(s) - Hold Ctrl to select multiple files",
          "the file dialog's title is %r" % dialog["title"])
    program.box_window("Add File.*")
    time.sleep(1.0)  # drawn by then
    program.session.screenshot("quillfen-wine-file-dialog.png")
    answer = program.answer("Return", windows_path(path), caption="Add File.*")
    check([os.path.basename(f.replace("\\", "/")) for f in answer.get("files", [])] == ["sites.txt"],
          "the file dialog gave the file typed into it (got %r)" % answer.get("files"))


def refused_query(program, window, support_email):
    """A page whose web query the spreadsheet refuses: the error report boxes,
    then "Done." naming that page and no other."""
    add_entries(program, window, ["www.refused.example"])
    program.click(window, "PushButton2")
    report = program.next("message")
    # The boxes show (and log) a line break where the program's text has CR LF or CR.
    check(report["text"] == ("The web query could not be added.\nin QuillfenApp2021/08/31.Excel1.ImportWeb "
                             "at line 100\n\nPlease email screenshot of this message to " + support_email)
          and report["caption"] == "Application Error" and report["icon"] == "Exclamation",
          "a refused web query shows the error report: %r" % report["text"])
    program.answer("Return", caption="Application Error")
    reports = 1
    while True:
        record = program.next("message")
        if record["caption"] != "Application Error":
            break
        reports += 1
        program.answer("Return", caption="Application Error")
    check(reports == 20, "one report for the query and one for each of its 19 settings (got %d)" % reports)
    check(record["text"].startswith("Done.\n\nThe following URLs: \nwww.refused.example\n\ncould not be read.")
          and "www.c.example" not in record["text"],
          "\"Done.\" names the refused page only: %r" % record["text"][:80])
    program.answer("Return")


def import_run(program, window, calls_file, expected, what):
    _, start = calls_since(calls_file, 0)
    program.click(window, "PushButton2")
    done = program.next("message")
    check(done["text"] == "Done." and done["caption"] == "Quillfen"
          and (done["buttons"], done["icon"]) == ("Ok", "None"),
          "%s: the closing box says %r" % (what, done["text"]))
    check(program.answer("Return")["answer"] == "Ok", "%s: the closing box answered OK" % what)
    got, _ = calls_since(calls_file, start)
    compare_calls(what, got, expected)


def shown_window(program):
    window = program.next("window")
    check(window["title"] == "Quillfen", "the window's caption is %r" % window["title"])
    check((window["width"], window["height"]) == WINDOW_SIZE,
          "the window's inside is %dx%d" % (window["width"], window["height"]))
    return window


def without_spreadsheet(session, args):
    """No spreadsheet application on this machine: with the engine the window,
    without it the advice."""
    if args.engine == "yes":
        program = Program(session, args.exe, "engine")
        shown_window(program)
        program.process.kill()
        program.wait_end()
        # Registered, but its server is nowhere: the advice.
        clsid = "{0B7E0C51-6A2D-4C44-9E0B-5D1F7A3C2E11}"
        keys = [(r"HKCR\Excel.Application\CLSID", clsid),
                (r"HKCR\CLSID\%s\LocalServer32" % clsid, r"C:\nowhere\absent.exe")]
        for key, value in keys:
            session.reg_add(key, None, value)
        try:
            advice_shown(session, args, "broken")
        finally:
            for key in (r"HKCR\Excel.Application", "HKCR\\CLSID\\" + clsid):
                subprocess.run(["wine", "reg", "delete", key, "/f"], env=session.env, stdin=subprocess.DEVNULL,
                               capture_output=True)
    else:
        advice_shown(session, args, "missing")


def advice_shown(session, args, name):
    """The advice, no window, and the program ends when it is answered."""
    program = Program(session, args.exe, name)
    advice = program.next("message")
    check(advice["text"] == MISSING_ADVICE and advice["caption"] == "Quillfen"
          and (advice["buttons"], advice["icon"]) == ("Ok", "None"),
          "where no spreadsheet application can be started the advice shows")
    program.answer("Return")
    check(program.wait_end() == 0, "the program ends after the advice")
    check(all(r["event"] != "window" for r in program.records()), "no window was shown")


def first_start(session, args, calls_file):
    """The window and its controls, entries typed in, a run in each sheet mode,
    then the window closed and the sheet mode found in the registry."""
    urls = ["http://www.a.example", "http://www.b.example/page"]
    program = Program(session, args.exe, "first")
    window = shown_window(program)
    presence, _ = calls_since(calls_file, 0)
    check(presence == ["(new Application)"], "the presence check created the application and let it go")
    shown = {c["name"]: c for c in window["controls"]}
    for name, text in CONTROLS.items():
        check(name in shown and (text is None or shown[name].get("text") == text),
              "control %s %s" % (name, repr(text) if text else ""))
    check(shown.get("Option1", {}).get("checked") is True, "one sheet is the sheet mode at first")
    add_entries(program, window, ["www.a.example", "http://www.b.example/page"])
    session.screenshot("quillfen-wine.png")

    import_run(program, window, calls_file, expected_calls(session, args.expected, "one", *urls),
               "onto one sheet")
    program.click(window, "Option2")
    import_run(program, window, calls_file, expected_calls(session, args.expected, "separate", "3", *urls),
               "onto separate sheets")

    # Closed with the keyboard, as the user would.
    session.xdotool("windowfocus", "--sync", program.box_window())
    session.xdotool("key", "alt+F4")
    check(program.wait_end() == 0, "the program ends when its window is closed")
    stored = session.reg_query(SETTINGS_KEY)
    check("Option1    REG_SZ    False" in stored and "Option2    REG_SZ    True" in stored,
          "the sheet mode is in the registry: " + " ".join(stored.split()))


def second_start(session, args, calls_file):
    """The sheet mode restored; a list file's entries onto separate sheets; a
    refused web query."""
    program = Program(session, args.exe, "second")
    window = shown_window(program)
    shown = {c["name"]: c for c in window["controls"]}
    check(shown["Option2"].get("checked") is True and shown["Option1"].get("checked") is False,
          "the second start restored the sheet mode")
    _, start = calls_since(calls_file, 0)
    list_file = os.path.join(session.work, "sites.txt")
    with open(list_file, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("www.c.example\nhttp://www.d.example/x\n")
    load_list_file(program, window, list_file)
    import_run(program, window, calls_file,
               expected_calls(session, args.expected, "separate", "3", "http://www.c.example",
                              "http://www.d.example/x"),
               "second start, a list file's entries onto separate sheets")
    got, _ = calls_since(calls_file, start - 1)
    check(got[0] == "(new Application)", "the second start checked for the application first")
    refused_query(program, window, args.support_email)
    program.process.kill()


def main():
    parser = argparse.ArgumentParser()
    for name in ("exe", "server", "expected", "out", "support-email"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--engine", choices=("yes", "no"), default="no")
    args = parser.parse_args()
    for tool in ("wine", "wineserver", "Xvfb", "xdotool", "import"):
        if not shutil.which(tool):
            print("missing tool: " + tool)
            return 1

    return run_session("quillfen-wine-", args.out, lambda session: with_and_without_spreadsheet(session, args))


def with_and_without_spreadsheet(session, args):
    without_spreadsheet(session, args)
    # The stand-in registered as the spreadsheet application from here on.
    calls_file = os.path.join(session.work, "calls.txt")
    session.start_server(args.server, calls_file)
    first_start(session, args, calls_file)
    second_start(session, args, calls_file)


def run_session(prefix, out, checks):
    """Runs checks(session) in a Wine prefix and on a screen of their own, then
    prints the number of failures and returns the exit status."""
    work = tempfile.mkdtemp(prefix=prefix)
    session = Session(work, out)
    try:
        checks(session)
    except (TimeoutError, AssertionError, StopIteration, KeyError, IndexError, subprocess.SubprocessError,
            OSError) as problem:
        failures.append(repr(problem))
        print("FAIL " + repr(problem))
    finally:
        session.close()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
