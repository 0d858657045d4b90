#!/usr/bin/python3
"""The example client in runs nobody attends ends each and says what happened: a save
line before the key of the export, with nobody to answer whether to open the workbook
(no program may start); a line for a form that never comes; a DISPLAY that no X server
answers, without a script and with one."""
import os
import socket
import subprocess
import sys
import tempfile

PROGRAM = os.path.join(os.environ["VX_BINARY_DIR"], "examples", "client", "bizclient")
SUPPRESSIONS = os.path.join(os.environ["VX_SOURCE_DIR"], "scripts", "lsan.supp")

problems = []
closed = socket.socket()  # bound on the loopback, never listening: no X server there
closed.bind(("127.0.0.1", 0))
display = "127.0.0.1:%d" % (closed.getsockname()[1] - 6000)
base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "VX_HEADLESS", "VX_HEADLESS_SCRIPT")}
with tempfile.TemporaryDirectory() as folder:
    book, started = os.path.join(folder, "orders.xls"), os.path.join(folder, "started.txt")
    for name in ("Excel.exe", "xdg-open"):  # what would open the workbook records that it ran
        with open(os.path.join(folder, name), "w") as f:
            f.write("#!/bin/sh\necho \"$0 $*\" >> '%s'\n" % started)
        os.chmod(os.path.join(folder, name), 0o755)
    headless = dict(base, VX_HEADLESS="1", PATH=folder + ":" + os.environ["PATH"])
    cases = [
        (headless, ["save " + book, "key F8", "key Down", "key Enter", "close frmClient"], 0,
         ['save dialog "Save As" -> ' + book, '"엑섹출력": 저장된 파일을 실행하시겠습니까? -> IDNO (unattended)']),
        (dict(headless, VX_HEADLESS_WAIT="0.2"), ["click frmNever.btnGo", "close frmClient"], 0,
         ['line 1 "click frmNever.btnGo": form "frmNever" not shown after 0.2 s; skipped']),
        (dict(base, DISPLAY=display), None, 1,
         ['no X server answers at DISPLAY "%s": the run is headless' % display, "headless and has no script"]),
        (dict(base, DISPLAY=display), ["close frmClient"], 0,
         ['no X server answers at DISPLAY "%s": the run is headless' % display]),
    ]
    for env, script, code, said in cases:
        env = dict(env, VX_REGISTRY_DIR=os.path.join(folder, "registry"), LSAN_OPTIONS="suppressions=" + SUPPRESSIONS)
        if script:
            env["VX_HEADLESS_SCRIPT"] = os.path.join(folder, "script.txt")
            with open(env["VX_HEADLESS_SCRIPT"], "w", encoding="utf-8") as f:
                f.write("\n".join(script) + "\n")
        run = subprocess.run([PROGRAM], env=env, cwd=folder, stderr=subprocess.PIPE, text=True, timeout=600)
        if run.returncode != code or any(line not in run.stderr for line in said):
            problems.append("exit code %d (not %d), said:\n%s" % (run.returncode, code, run.stderr))
    if not os.path.exists(book) or os.path.exists(started):
        problems.append("workbook written: %s; programs started: %s" % (os.path.exists(book), os.path.exists(started)))
closed.close()
print("\n".join(problems), file=sys.stderr)
sys.exit(1 if problems else 0)
