#!/usr/bin/env python3
"""The installed Windows program with its embedded engine, under Wine, with no
spreadsheet application registered: the installer, the window, the command line.

Pages are served on 127.0.0.1 (HTTP, and HTTPS with a test certificate the
prefix trusts and one it does not). Every workbook is read back cell by cell and
compared with the workbook the Linux program writes of the same pages.

Checked:
  - the installer installs silently for the current user: the programs, the
    Start-menu entry (whose target is started), the uninstall entry, the
    folder on the user's PATH;
  - a run through the window (entries typed in, "Start Importing", "Done.")
    writes Book1.xlsx into the Documents folder, equal to the Linux workbook;
    with no program for .xlsx files, "Done." names it;
  - quillfen.com --import: the workbook equal to the Linux one, its path on
    standard output, exit codes 0 (all read), 1 (an entry unreadable: the
    untrusted certificate, with its reason; a missing page) and 2 (bad
    arguments), Ctrl+C stopping after the entry in hand (130), and the same
    through cmd.exe, which finds quillfen.com for "quillfen";
  - the silent uninstall leaves none of our files, entries, keys or PATH part, and keeps
    the remembered sheet mode.

  wine_engine_test.py --installer setup.exe --linux-program build/app/quillfen --out <folder>
"""
import argparse
import http.server
import os
import shlex
import shutil
import signal
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # nothing written into the source tree
from wine_app_test import Program, Session, add_entries, check, failures, shown_window, wait_for, windows_path

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillfen"
SETTINGS_KEY = r"HKCU\Software\VB and VBA Program Settings\Tarnwick\Quillfen"
PAGES = {
    "/table": "<html><body><h1>Prices</h1><table><tr><th>Item</th><th>Price</th></tr>"
              "<tr><td>Tea</td><td>3.50</td></tr><tr><td>K\u00e4se</td><td>12</td></tr></table></body></html>",
    "/text": "<html><body><p>First paragraph</p><pre>one\ttwo\nthree</pre></body></html>",
}


class Pages(http.server.BaseHTTPRequestHandler):
    interrupt = None  # called half a second into a request for /slow, before its answer

    def do_GET(self):
        if self.path == "/slow":
            time.sleep(0.5)
            Pages.interrupt()
        body = PAGES.get("/table" if self.path == "/slow" else self.path)
        if body is None:
            self.send_error(404)
            return
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def serve(work, name=None):
    """A page server on 127.0.0.1; with a name, over TLS with a certificate of its
    own for 127.0.0.1 (returned, DER)."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    der = None
    if name:
        key, pem = os.path.join(work, name + ".key"), os.path.join(work, name + ".pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", pem],
                       check=True, capture_output=True)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(pem, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        der = ssl.PEM_cert_to_DER_cert(open(pem).read())
    threading.Thread(target=server.serve_forever, daemon=True).start()
    scheme = "https" if name else "http"
    return server, "%s://127.0.0.1:%d" % (scheme, server.server_address[1]), der


def trust(session, der):
    """Puts a certificate into the prefix's trusted roots, as the system keeps
    them: a serialized certificate property under the certificate's SHA-1."""
    import hashlib
    thumb = hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 0x20, 1, len(der)) + der
    reg = os.path.join(session.work, "root.reg")
    with open(reg, "w", encoding="ascii") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\n"
                "\"Blob\"=hex:%s\n" % (thumb, ",".join("%02x" % b for b in blob)))
    subprocess.run(["wine", "regedit", "/S", windows_path(reg)], env=session.env, check=True,
                   stdin=subprocess.DEVNULL, capture_output=True)


def cells(path):
    """{sheet name: {cell reference: value text}} of an .xlsx file."""
    ns = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
          "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
    with zipfile.ZipFile(path) as z:
        shared = []
        if "xl/sharedStrings.xml" in z.namelist():
            for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", ns):
                shared.append("".join(t.text or "" for t in si.iter("{%s}t" % ns["m"])))
        rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
        out = {}
        for sheet in ET.fromstring(z.read("xl/workbook.xml")).find("m:sheets", ns):
            target = rels[sheet.get("{%s}id" % ns["r"])]
            values = {}
            for c in ET.fromstring(z.read("xl/" + target.lstrip("/").replace("xl/", "", 1))).iter(
                    "{%s}c" % ns["m"]):
                v = c.find("m:v", ns)
                text = "".join(t.text or "" for t in c.iter("{%s}t" % ns["m"])) if c.get("t") == "inlineStr" \
                    else (v.text if v is not None else "")
                values[c.get("r")] = shared[int(text)] if c.get("t") == "s" else text
            out[sheet.get("name")] = values
        return out


def same_workbook(what, got, expected):
    a, b = cells(got), cells(expected)
    if a == b:
        return check(True, "%s: %d sheet(s), %d cells, each as the Linux program's"
                     % (what, len(a), sum(len(v) for v in a.values())))
    print("  got      %r\n  expected %r" % (a, b))
    return check(False, what + ": the workbook equals the Linux program's")


def linux_workbook(args, work, urls, name):
    listing = os.path.join(work, name + ".txt")
    with open(listing, "w", encoding="utf-8") as f:
        f.write("\n".join(urls) + "\n")
    out = os.path.join(work, name + ".xlsx")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    subprocess.run([args.linux_program, "--import", listing, "--one-sheet", "--output", out], env=env, check=True,
                   capture_output=True)
    return out


def lnk_target(path):
    """The local path a shell link (.lnk) points to (its LinkInfo)."""
    data = open(path, "rb").read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 1:  # a target ID list first
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 2:
        return None
    base = at + struct.unpack_from("<I", data, at + 16)[0]
    return data[base:data.index(b"\0", base)].decode("latin-1")


def unix_path(session, windows):
    out = subprocess.run(["winepath", "-u", windows], env=session.env, capture_output=True, text=True).stdout
    return out.strip()


def user_path(session):
    """The user's own PATH as the registry keeps it."""
    for line in session.reg_query(r"HKCU\Environment").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0].lower() == "path":
            return parts[2]
    return None


def run(session, exe, *arguments, via_cmd=False, cwd=None):
    command = ["wine", "cmd", "/c", *arguments] if via_cmd else ["wine", exe, *arguments]
    done = subprocess.run(command, env=session.env, capture_output=True, text=True, cwd=cwd,
                          stdin=subprocess.DEVNULL, timeout=300)
    return done.returncode, done.stdout.replace("\r\n", "\n"), done.stderr.replace("\r\n", "\n")


def command_line(session, args, install, urls, trusted, untrusted):
    com = os.path.join(install, "quillfen.com")
    listing = os.path.join(session.work, "sites \u00e9t\u00e9.txt")  # a name beyond the ANSI code page
    with open(listing, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(urls + [trusted]) + "\n")
    out = os.path.join(session.work, "sortie \u00fcber.xlsx")
    code, stdout, stderr = run(session, com, "--import", windows_path(listing), "--one-sheet", "--output",
                               windows_path(out))
    check(code == 0, "--import of every page reads them all (exit code %s): %s" % (code, stderr.strip()[-200:]))
    check(stdout.strip().endswith("sortie \u00fcber.xlsx"), "the workbook's path on standard output: %r" % stdout)
    if os.path.exists(out):
        # The Linux program trusts no test certificate: it reads the same page over HTTP.
        same_workbook("--import", out, linux_workbook(args, session.work, urls + [urls[0]], "linux-cli"))

    bad = os.path.join(session.work, "bad.txt")
    with open(bad, "w", encoding="utf-8") as f:
        f.write(urls[0] + "\n" + untrusted + "\n")
    code, stdout, stderr = run(session, com, "--import", windows_path(bad), "--output",
                               windows_path(os.path.join(session.work, "bad.xlsx")))
    if code == 0:
        # Wine's Schannel takes the request to validate the server's certificate
        # and does not (Windows' does, against the system's store).
        print("SKIP an untrusted certificate: this Wine's Schannel validates no server certificate")
    else:
        check(code == 1, "an untrusted certificate leaves its entry unread: exit code %s" % code)
        check("entry 2 could not be read" in stderr and "the server's certificate is not trusted" in stderr,
              "the reason names the certificate: %r" % stderr.strip()[-200:])

    with open(bad, "w", encoding="utf-8") as f:
        f.write(urls[0] + "\n" + urls[0].replace("/table", "/missing") + "\n")
    code, _, stderr = run(session, com, "--import", windows_path(bad), "--output",
                          windows_path(os.path.join(session.work, "missing.xlsx")))
    check(code == 1 and "entry 2 could not be read" in stderr and "(HTTP 404)" in stderr,
          "a missing page leaves its entry unread: exit code %s, %r" % (code, stderr.strip()[-120:]))
    interrupted(session, com, urls[0])

    code, _, stderr = run(session, com, "--import", windows_path(bad), "--output", "x.txt")
    check(code == 2 and "must end in .xlsx" in stderr, "bad arguments: exit code 2 (%s)" % code)
    code, stdout, _ = run(session, None, "quillfen", "--version", via_cmd=True, cwd=session.work)
    check(code == 0 and stdout.startswith("quillfen "),
          "cmd.exe finds quillfen.com for \"quillfen\" on the PATH: %r" % stdout)
    code, _, _ = run(session, None, "quillfen --import nothing-here.txt & exit /b %errorlevel%", via_cmd=True,
                     cwd=install)
    check(code == 2, "cmd.exe gets the exit code of an unreadable list file: %s" % code)


def interrupted(session, com, url):
    """Ctrl+C while the second of three entries is in hand: the console's Ctrl+C
    reaches a program under Wine as SIGINT to its process."""
    listing = os.path.join(session.work, "three.txt")
    with open(listing, "w", encoding="utf-8") as f:
        f.write("\n".join([url, url.replace("/table", "/slow"), url.replace("/table", "/text")]) + "\n")
    process = subprocess.Popen(["wine", com, "--import", windows_path(listing), "--output",
                                windows_path(os.path.join(session.work, "stopped.xlsx"))],
                               env=session.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    Pages.interrupt = lambda: process.send_signal(signal.SIGINT)
    try:
        stdout, stderr = process.communicate(timeout=120)
    finally:
        Pages.interrupt = None
    check(process.returncode == 130 and "stopped after entry 2 of 3" in stderr,
          "Ctrl+C stops after the entry in hand: exit code %s, %r" % (process.returncode, stderr.strip()[-120:]))
    check(stdout.strip().endswith("stopped.xlsx"), "what was imported is written: %r" % stdout)


def through_window(session, args, exe, urls):
    program = Program(session, exe, "engine")
    window = shown_window(program)
    add_entries(program, window, urls)
    program.click(window, "PushButton2")
    done = program.next("message")
    check(done["text"].startswith("Done.") and "The workbook was saved as C:\\users\\" in done["text"]
          and done["text"].endswith("\\Documents\\Book1.xlsx"),
          "the run through the window ends with \"Done.\" naming the workbook no program opens: %r"
          % done["text"][-120:])
    program.answer("Return")
    program.click(window, "Option1")  # the sheet mode is remembered from a click on
    wait_for("the remembered sheet mode", lambda: "Option1" in session.reg_query(SETTINGS_KEY))
    documents = unix_path(session, r"C:\users\%s\Documents" % os.environ.get("USER", "root"))
    book = os.path.join(documents, "Book1.xlsx")
    if check(os.path.exists(book), "the workbook is Documents\\Book1.xlsx"):
        same_workbook("the window's run", book, linux_workbook(args, session.work, urls, "linux-window"))
    program.process.kill()


def main():
    parser = argparse.ArgumentParser()
    for name in ("installer", "linux-program", "out"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quillfen-wine-engine-")
    session = Session(work, args.out)
    servers = []
    try:
        plain, base, _ = serve(work)
        good, good_base, der = serve(work, "trusted")
        evil, evil_base, _ = serve(work, "untrusted")
        servers = [plain, good, evil]
        trust(session, der)
        urls = [base + "/table", base + "/text"]

        subprocess.run(["wine", "reg", "add", "HKCU\\Environment", "/v", "Path", "/t", "REG_EXPAND_SZ", "/d",
                        r"C:\tools", "/f"], env=session.env, check=True, stdin=subprocess.DEVNULL, capture_output=True)
        subprocess.run(["wine", windows_path(args.installer), "/S", "/CurrentUser"], env=session.env, check=True,
                       stdin=subprocess.DEVNULL, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=session.env)
        location = session.reg_query(UNINSTALL_KEY)
        check("InstallLocation" in location and "QuietUninstallString" in location,
              "the uninstaller is listed among the programs")
        install_windows = location.split("InstallLocation")[1].split("REG_SZ")[1].splitlines()[0].strip()
        install = unix_path(session, install_windows)
        start_menu = unix_path(session, r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
                               % os.environ.get("USER", "root"))
        link = os.path.join(start_menu, "Quillfen.lnk")
        target = lnk_target(link) if os.path.exists(link) else None
        check(target is not None and target.lower().endswith("quillfen.exe"), "the Start-menu entry: %r" % target)
        check(user_path(session) == r"C:\tools;" + install_windows,
              "the install folder is on the user's PATH, after what was there")
        exe = unix_path(session, target) if target else os.path.join(install, "quillfen.exe")

        through_window(session, args, exe, urls)
        command_line(session, args, install, urls, good_base + "/table", evil_base + "/table")

        # As an administrator would: the entry's own silent command.
        quiet = location.split("QuietUninstallString")[1].split("REG_SZ")[1].splitlines()[0].strip()
        command = [part.strip('"') for part in shlex.split(quiet, posix=False)]
        subprocess.run(["wine", *command], env=session.env, stdin=subprocess.DEVNULL, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=session.env)
        check(not os.path.exists(install), "the uninstall removed the program's folder")
        check(not os.path.exists(link), "the uninstall removed the Start-menu entry")
        check("Quillfen" not in session.reg_query(UNINSTALL_KEY), "the uninstall removed its registry entries")
        check(user_path(session) == r"C:\tools",
              "the uninstall took its folder off the PATH and left the rest")
        check("Option1" in session.reg_query(SETTINGS_KEY), "the remembered sheet mode is kept")
    except (TimeoutError, AssertionError, StopIteration, KeyError, IndexError, subprocess.SubprocessError,
            OSError) as problem:
        failures.append(repr(problem))
        print("FAIL " + repr(problem))
    finally:
        for server in servers:
            server.shutdown()
        session.close()
        shutil.rmtree(work, ignore_errors=True)
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
