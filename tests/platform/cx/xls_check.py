#!/usr/bin/python3
"""Reads a workbook with an independent reader and compares it with what was meant.

  xls_check.py xlrd EXPECTED BOOK
  xls_check.py soffice EXPECTED BOOK WORKDIR

EXPECTED: one line per non-empty cell, "sheet<TAB>row<TAB>column<TAB>kind<TAB>value",
kind "s" (text), "n" (number) or "b" (Boolean); texts escape tab, line feed and
backslash as \\t, \\n and \\\\. Exits 0 when the book holds exactly those cells; prints
the differences otherwise.
"""
import csv
import glob
import os
import subprocess
import sys


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"t": "\t", "n": "\n", "\\": "\\"}[text[i + 1]])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def expected_cells(path):
    cells = {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if not line:
                continue
            sheet, row, col, kind, value = line.split("\t", 4)
            value = unescape(value)
            cells[(int(sheet), int(row), int(col))] = (kind, float(value) if kind == "n" else
                                                       (value == "1") if kind == "b" else value)
    return cells


def read_xlrd(path):
    import xlrd
    book = xlrd.open_workbook(path)
    cells = {}
    for s in range(book.nsheets):
        sheet = book.sheet_by_index(s)
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                kind = {xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n", xlrd.XL_CELL_BOOLEAN: "b"}.get(cell.ctype, "?")
                value = bool(cell.value) if kind == "b" else cell.value
                cells[(s, r, c)] = (kind, value)
    return cells


def read_soffice(path, workdir):
    # Every sheet to a CSV file of its own, UTF-8, texts quoted.
    profile = "file://" + os.path.join(os.path.abspath(workdir), "profile")
    subprocess.run(["soffice", "-env:UserInstallation=" + profile, "--headless", "--convert-to",
                    "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,true,false,false,false,-1",
                    "--outdir", workdir, path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=600)
    stem = os.path.splitext(os.path.basename(path))[0]
    files = sorted(glob.glob(os.path.join(workdir, stem + "*.csv")))
    cells = {}
    for s, name in enumerate(files):
        with open(name, encoding="utf-8", newline="") as f:
            for r, row in enumerate(csv.reader(f)):
                for c, text in enumerate(row):
                    if text != "":
                        cells[(s, r, c)] = ("?", text)
    return cells


def same(kind, value, got):
    if got[0] != "?":
        if got[0] != kind:
            return False
        return got[1] == value
    text = got[1]  # a spreadsheet program's text of the cell
    if kind == "n":
        try:
            return float(text) == value
        except ValueError:
            return False
    if kind == "b":
        return text.upper() in (("TRUE", "1") if value else ("FALSE", "0"))
    return text == value


def main():
    reader, expected_path, book = sys.argv[1:4]
    expected = expected_cells(expected_path)
    got = read_xlrd(book) if reader == "xlrd" else read_soffice(book, sys.argv[4])
    problems = []
    for key, (kind, value) in sorted(expected.items()):
        if key not in got:
            problems.append("missing %s: %r" % (key, value))
        elif not same(kind, value, got[key]):
            problems.append("cell %s: expected %s %r, read %r" % (key, kind, value, got[key]))
    for key in sorted(set(got) - set(expected)):
        problems.append("extra %s: %r" % (key, got[key]))
    for p in problems[:20]:
        print(p, file=sys.stderr)
    sys.exit(1 if problems else 0)


main()
