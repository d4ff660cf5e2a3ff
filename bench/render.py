#!/usr/bin/env python3
"""Pages built by scripts: `quillfen --import` of N such pages on loopback with
the default settings, against the browser's own one-process-per-page dump
(`chromium-headless-shell --dump-dom --virtual-time-budget=2000`) of the same
pages, in turns; and the peak memory of the browser's processes during the
import (the sum of their proportional set sizes, sampled every 50 ms).

    bench/render.py QUILLFEN BROWSER [pages] [rounds]
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time

TABLE_ROWS = 20

# The ways sites build a table, each a script that fills #root from `rows`.
WAYS = [
    "document.addEventListener('DOMContentLoaded', () => fill(rows));",
    "fetch('/data/{n}.json').then(r => r.json()).then(fill);",
    "setTimeout(() => fill(rows), 150);",
    "window.addEventListener('load', () => fill(rows));",
    "const x = new XMLHttpRequest(); x.open('GET', '/data/{n}.json'); x.onload = () => fill(JSON.parse(x.responseText)); x.send();",
]


def rows_of(n):
    return [[f"Item {n}-{i}", f"{(n * 37 + i * 13) % 1000},{i:02d}0.5", f"{i + 1}/12/2026"] for i in range(TABLE_ROWS)]


def page(n):
    import json
    way = WAYS[n % len(WAYS)].replace("{n}", str(n))
    return f"""<!doctype html><html lang="en"><head><meta charset="utf-8"><title>Page {n}</title></head>
<body><div id="root">Loading…</div><noscript>You need to enable JavaScript to run this app.</noscript>
<script>const rows = {json.dumps(rows_of(n))};
function fill(rs) {{ document.getElementById('root').innerHTML = '<table>' +
  rs.map(r => '<tr><td>' + r.join('</td><td>') + '</td></tr>').join('') + '</table>'; }}
{way}</script></body></html>"""


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        import json
        if self.path.startswith("/data/"):
            n = int(self.path[6:].split(".")[0])
            body, kind = json.dumps(rows_of(n)).encode(), "application/json"
            time.sleep(0.1)
        else:
            body, kind = page(int(self.path.strip("/").split(".")[0])).encode(), "text/html; charset=utf-8"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def browser_pss_kib(root_pid):
    """The proportional set size of root_pid's descendants that are the browser."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(parent, []).append(int(entry))
        except OSError:
            pass
    total, todo = 0, list(children.get(root_pid, []))
    while todo:
        pid = todo.pop()
        todo += children.get(pid, [])
        try:
            with open(f"/proc/{pid}/smaps_rollup") as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def import_run(quillfen, listing, out):
    start = time.monotonic()
    process = subprocess.Popen([quillfen, "--import", listing, "--output", out, "--force", "--one-sheet"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak = 0
    while process.poll() is None:
        peak = max(peak, browser_pss_kib(process.pid))
        time.sleep(0.05)
    wall = time.monotonic() - start
    errors = process.stderr.read().decode()
    if process.returncode != 0:
        sys.exit(f"quillfen --import failed ({process.returncode}): {errors}")
    return wall, peak, errors


def dump_run(browser, urls):
    start = time.monotonic()
    sandbox = ["--no-sandbox"] if os.geteuid() == 0 else []
    for url in urls:
        out = subprocess.run([browser, *sandbox, "--dump-dom", "--virtual-time-budget=2000", url],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True).stdout
        if b"<table>" not in out:
            sys.exit(f"the browser's dump of {url} holds no table")
    return time.monotonic() - start


def main():
    quillfen, browser = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 40
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    urls = [f"http://127.0.0.1:{server.server_port}/{n}.html" for n in range(count)]
    with tempfile.TemporaryDirectory() as folder:
        listing = os.path.join(folder, "list.txt")
        with open(listing, "w") as f:
            f.write("\n".join(urls) + "\n")
        out = os.path.join(folder, "out.xlsx")
        ours, dumps, peaks = [], [], []
        for _ in range(rounds):
            wall, peak, errors = import_run(quillfen, listing, out)
            if "rendered" in errors or "built by scripts" in errors:
                sys.exit("pages were not rendered: " + errors)
            ours.append(wall)
            peaks.append(peak)
            dumps.append(dump_run(browser, urls))
        import openpyxl
        book = openpyxl.load_workbook(out)
        check = sum(1 for r in book.active.iter_rows(values_only=True) if r[0] and str(r[0]).startswith("Item "))
    print(f"{count} pages built by scripts, {rounds} rounds (best of each)")
    print(f"  quillfen --import            {min(ours):7.2f} s   (all rounds: {', '.join(f'{x:.2f}' for x in ours)})")
    print(f"  browser --dump-dom, per page {min(dumps):7.2f} s   (all rounds: {', '.join(f'{x:.2f}' for x in dumps)})")
    print(f"  ratio                        {min(ours) / min(dumps):7.2f}   (target: at most 0.5)")
    print(f"  peak browser memory (PSS)    {max(peaks) / 1024:7.1f} MiB")
    print(f"  table rows in the workbook   {check} of {count * TABLE_ROWS}")


if __name__ == "__main__":
    main()
