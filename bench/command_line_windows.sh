#!/usr/bin/env bash
# quillfen --import of 300 pages of Debian's Python documentation served on
# loopback: the Windows program (quillfen.com under Wine, from
# build-windows-app/, see scripts/test-windows --app) against the Linux program
# of the same commit, side by side, each run three times in turn. Prints the
# wall-clock time and the CPU time of each program's processes (under Wine,
# the Wine server's time is not among them), and the parts of the workbooks
# that differ.
#   bench/command_line_windows.sh [page count]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

qf_install "${QF_PACKAGES[@]}" python3.11-doc wine wine64
qf_build_bench quillfen
windows="$QF_ROOT/build-windows-app/quillfen.com"
[ -f "$windows" ] || { echo "no $windows: run ./scripts/test-windows --app first" >&2; exit 1; }

python3 - "$QF_ROOT/build-bench/app/quillfen" "$windows" /usr/share/doc/python3.11/html "${1:-300}" <<'PY'
import functools, http.server, os, resource, shutil, subprocess, sys, tempfile, threading, time, zipfile

linux, windows, pages, count = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
work = tempfile.mkdtemp(prefix="quillfen-bench-windows-")
env = dict(os.environ, WINEPREFIX=os.path.join(work, "wine"), WINEARCH="win64", WINEDEBUG="-all",
           WINEDLLOVERRIDES="mscoree,mshtml=", HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
env.pop("DISPLAY", None)
subprocess.run(["wineboot", "-i"], env=env, capture_output=True, check=True)
subprocess.run(["wineserver", "-w"], env=env)
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=pages))
threading.Thread(target=server.serve_forever, daemon=True).start()
names = sorted(os.path.relpath(os.path.join(root, n), pages)
               for root, _, files in os.walk(pages) for n in files if n.endswith(".html"))[:count]
listing = os.path.join(work, "pages.txt")
with open(listing, "w") as f:
    f.write("".join("http://127.0.0.1:%d/%s\n" % (server.server_address[1], n) for n in names))

def one(program, out):
    wine = program.endswith(".com")
    def winpath(p):
        return "Z:" + p.replace("/", "\\") if wine else p
    command = (["wine"] if wine else []) + [program, "--import", winpath(listing), "--one-sheet", "--force",
                                             "--output", winpath(out)]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run(command, env=env, capture_output=True, check=True)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)

results = {"linux": [], "windows": []}
for round in range(3):
    results["linux"].append(one(linux, os.path.join(work, "linux.xlsx")))
    results["windows"].append(one(windows, os.path.join(work, "windows.xlsx")))

# Every part but docProps/core.xml, which holds the time of writing.
def parts(path):
    with zipfile.ZipFile(path) as z:
        return {n: z.read(n) for n in z.namelist() if n != "docProps/core.xml"}

print("quillfen --import of %d loopback pages, best of 3 (wall s, CPU s)" % len(names))
for name, runs in results.items():
    wall, cpu = min(runs)
    print("  %-8s %7.2f  %7.2f" % (name, wall, cpu))
a, b = parts(os.path.join(work, "linux.xlsx")), parts(os.path.join(work, "windows.xlsx"))
differing = sorted(n for n in a.keys() | b.keys() if a.get(n) != b.get(n))
print("  workbooks' parts: %d, differing: %s" % (len(a.keys() | b.keys()), ", ".join(differing) or "none"))
server.shutdown()
subprocess.run(["wineserver", "-k"], env=env)
shutil.rmtree(work, ignore_errors=True)
PY
