#!/usr/bin/env python3
"""The installed Windows program with its embedded engine, under Wine, with no
spreadsheet application registered. Pages are served on 127.0.0.1, over HTTP and
over HTTPS with a certificate the prefix trusts; every workbook must equal, part
by part, the one the Linux program writes of the same pages.

Checked: the silent install for the current user (Start-menu entry, uninstall
entry, the folder on the user's PATH); a run through the window into
Documents\\Book1.xlsx, with "Done." naming it; quillfen.com --import with its
exit codes, its path on standard output and Ctrl+C; cmd.exe finding "quillfen";
the silent uninstall, which keeps the remembered sheet mode.

  wine_engine_test.py --installer setup.exe --linux-program build/app/quillfen --out <folder>
"""
import argparse
import hashlib
import http.server
import os
import shlex
import signal
import ssl
import struct
import subprocess
import sys
import threading
import time
import zipfile

sys.dont_write_bytecode = True  # nothing written into the source tree
from wine_app_test import SETTINGS_KEY, Program, add_entries, check, run_session, shown_window, wait_for, windows_path

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillfen"
USER = os.environ.get("USER", "root")  # Wine's user folder is named after the Unix user
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
            return self.send_error(404)
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def serve(session, tls=False):
    """A page server on 127.0.0.1; over TLS with a certificate for 127.0.0.1 that
    the prefix trusts, put among its roots as the system keeps them."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    if tls:
        key, pem = os.path.join(session.work, "key.pem"), os.path.join(session.work, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", pem],
                       check=True, capture_output=True)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(pem, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        der = ssl.PEM_cert_to_DER_cert(open(pem).read())
        blob = struct.pack("<III", 0x20, 1, len(der)) + der  # a serialized certificate property
        session.reg_add(r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates\%s"
                        % hashlib.sha1(der).hexdigest().upper(), "Blob", blob.hex(), "REG_BINARY")
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return "%s://127.0.0.1:%d" % ("https" if tls else "http", server.server_address[1])


def same_workbook(what, got, args, session, urls):
    """The workbook equals the Linux program's of the same pages, every part
    but the one holding the time of writing."""
    listing, expected = (os.path.join(session.work, "linux" + ext) for ext in (".txt", ".xlsx"))
    with open(listing, "w", encoding="utf-8") as f:
        f.write("\n".join(urls) + "\n")
    subprocess.run([args.linux_program, "--import", listing, "--one-sheet", "--output", expected, "--force"],
                   env=dict(os.environ, HOME=session.work, XDG_CONFIG_HOME=session.work), check=True,
                   capture_output=True)
    parts = [{n: z.read(n) for n in z.namelist() if n != "docProps/core.xml"}
             for z in (zipfile.ZipFile(got), zipfile.ZipFile(expected))]
    differ = sorted(n for n in parts[0].keys() | parts[1].keys() if parts[0].get(n) != parts[1].get(n))
    return check(not differ, "%s: the workbook equals the Linux program's (differing parts: %s)" % (what, differ))


def unix_path(session, windows):
    """Where a path on the prefix's drive C: is."""
    return os.path.join(session.env["WINEPREFIX"], "drive_c", *windows[3:].split("\\"))


def registry_value(session, key, name):
    for line in session.reg_query(key).splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0].lower() == name.lower():
            return parts[2]
    return None


def run(session, *command, cwd=None):
    done = subprocess.run(["wine", *command], env=session.env, capture_output=True, text=True, cwd=cwd,
                          stdin=subprocess.DEVNULL, timeout=300)
    return done.returncode, done.stdout.replace("\r\n", "\n"), done.stderr.replace("\r\n", "\n")


def list_file(session, name, urls):
    path = os.path.join(session.work, name)
    with open(path, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(urls) + "\n")
    return windows_path(path)


def through_window(session, args, exe, urls):
    program = Program(session, exe, "engine")
    window = shown_window(program)
    add_entries(program, window, urls)
    program.click(window, "PushButton2")
    done = program.next("message")["text"]
    check(done.startswith("Done.") and done.endswith("The workbook was saved as C:\\users\\%s\\Documents\\Book1.xlsx"
                                                     % USER),
          "\"Done.\" names the workbook no program opens: %r" % done[-120:])
    program.answer("Return")
    program.click(window, "Option1")  # the sheet mode is remembered from a click on
    wait_for("the remembered sheet mode", lambda: "Option1" in session.reg_query(SETTINGS_KEY))
    same_workbook("the window's run", unix_path(session, r"C:\users\%s\Documents\Book1.xlsx" % USER), args,
                  session, urls)
    program.process.kill()


def command_line(session, args, com, urls, https):
    out = os.path.join(session.work, "sortie \u00fcber.xlsx")  # names beyond the ANSI code page
    code, stdout, stderr = run(session, com, "--import", list_file(session, "sites \u00e9t\u00e9.txt", urls + [https]),
                               "--one-sheet", "--output", windows_path(out))
    check(code == 0 and stdout.strip().endswith("sortie \u00fcber.xlsx"),
          "--import reads every page, HTTPS too, and names the workbook: %s %r %r" % (code, stdout, stderr[-200:]))
    same_workbook("--import", out, args, session, urls + [urls[0]])  # the Linux program reads it over HTTP

    missing = list_file(session, "missing.txt", [urls[0], urls[0].replace("/table", "/missing")])
    for arguments, status, reason in [
        ((missing, "--output", windows_path(os.path.join(session.work, "missing.xlsx"))), 1, "(HTTP 404)"),
        ((missing, "--output", "x.txt"), 2, "must end in .xlsx"),
    ]:
        code, _, stderr = run(session, com, "--import", *arguments)
        check(code == status and reason in stderr, "exit code %d with %r: %s %r" % (status, reason, code, stderr))

    # Ctrl+C while the second of three entries is in hand; the console's Ctrl+C
    # reaches a program under Wine as SIGINT.
    three = list_file(session, "three.txt", [urls[0], urls[0].replace("/table", "/slow"), urls[1]])
    process = subprocess.Popen(["wine", com, "--import", three, "--output",
                                windows_path(os.path.join(session.work, "stopped.xlsx"))],
                               env=session.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    Pages.interrupt = lambda: process.send_signal(signal.SIGINT)
    stdout, stderr = process.communicate(timeout=120)
    check(process.returncode == 130 and "stopped after entry 2 of 3" in stderr and stdout.strip().endswith(
        "stopped.xlsx"), "Ctrl+C stops after the entry in hand and writes it: %s %r" % (process.returncode, stderr))

    code, stdout, _ = run(session, "cmd", "/c", "quillfen", "--version", cwd=session.work)
    check(code == 0 and stdout.startswith("quillfen "), "cmd.exe finds quillfen.com on the PATH: %r" % stdout)


def installed(session, args):
    urls = [serve(session) + path for path in ("/table", "/text")]
    https = serve(session, tls=True) + "/table"
    session.reg_add(r"HKCU\Environment", "Path", r"C:\tools", "REG_EXPAND_SZ")
    subprocess.run(["wine", windows_path(args.installer), "/S", "/CurrentUser"], env=session.env, check=True,
                   stdin=subprocess.DEVNULL, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=session.env)
    folder = registry_value(session, UNINSTALL_KEY, "InstallLocation")
    install = unix_path(session, folder)
    link = unix_path(session, r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Quillfen.lnk"
                     % USER)
    check(os.path.exists(link) and b"quillfen.exe" in open(link, "rb").read().lower(), "the Start-menu entry")
    check(registry_value(session, r"HKCU\Environment", "Path") == r"C:\tools;" + folder,
          "the install folder is on the user's PATH, after what was there")

    through_window(session, args, os.path.join(install, "quillfen.exe"), urls)
    command_line(session, args, os.path.join(install, "quillfen.com"), urls, https)

    # As an administrator would: the entry's own silent command.
    quiet = registry_value(session, UNINSTALL_KEY, "QuietUninstallString")
    subprocess.run(["wine", *(part.strip('"') for part in shlex.split(quiet, posix=False))], env=session.env,
                   stdin=subprocess.DEVNULL, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=session.env)
    check(not os.path.exists(install) and not os.path.exists(link), "the uninstall removed the folder and the entry")
    check("Quillfen" not in session.reg_query(UNINSTALL_KEY), "the uninstall removed its registry entries")
    check(registry_value(session, r"HKCU\Environment", "Path") == r"C:\tools", "the PATH is as it was")
    check("Option1" in session.reg_query(SETTINGS_KEY), "the remembered sheet mode is kept")


def main():
    parser = argparse.ArgumentParser()
    for name in ("installer", "linux-program", "out"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    return run_session("quillfen-wine-engine-", args.out, lambda session: installed(session, args))


if __name__ == "__main__":
    sys.exit(main())
