#!/usr/bin/python3
"""The example client as a whole program, headless, driven by a script: the form paints
every control, a click on a column header sorts, Ctrl+F finds an order, F6 deletes it
after the question, F9 opens the branch list, F8 exports the grid; the picture and the
workbook (read back with xlrd) show the outcome."""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

import xlrd

BINARY = os.environ["VX_BINARY_DIR"]
SOURCE = os.environ["VX_SOURCE_DIR"]
PROGRAM = os.path.join(BINARY, "examples", "client", "bizclient")

# The form's client area inside the window picture (frame and title bar).
LEFT, TOP = 4, 22

# Each control's place on the form (client coordinates) and a colour that only its own
# painting puts there: its artwork, its glyphs or its text. (The title's red run blinks,
# so a picture may catch it hidden: the form's own test looks at it while it shows.)
PAINTED = [
    ("tool bar: help glyph", (12, 10, 290, 26), 0x2F6FD0),
    ("tool bar: delete glyph", (12, 10, 290, 26), 0xC43D3D),
    ("rich label: text", (320, 8, 500, 44), 0x000000),
    ("icon label: bullet", (12, 60, 60, 24), 0x2F6FD0),
    ("combo box: selected item", (70, 60, 130, 21), 0x0A246A),
    ("icon editor: search icon", (290, 60, 160, 21), 0x3C4A5C),
    ("currency editor: amount icon", (552, 60, 140, 21), 0x2E9E4F),
    ("image button down: its picture", (708, 58, 60, 24), 0xEAF1FA),
    ("image button up: its edge", (770, 58, 60, 24), 0xAEB7C4),
    ("image label: band edge", (12, 96, 876, 24), 0x1F5FAF),
    ("grid: check mark", (12, 124, 876, 440), 0x000000),
    ("grid: alternate rows", (12, 124, 876, 440), 0xF8F8F8),
]


def read_png(path):
    """The rows of an 8-bit RGB PNG as 0xRRGGBB values."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, ctype = struct.unpack(">IIBB", body[:10])
            assert (depth, ctype) == (8, 2)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    raw, stride = zlib.decompress(idat), 3 * width + 1
    rows = []
    for y in range(height):
        line = raw[y * stride:(y + 1) * stride]
        assert line[0] == 0, "filter type"
        rows.append([(line[1 + 3 * x] << 16) | (line[2 + 3 * x] << 8) | line[3 + 3 * x] for x in range(width)])
    return rows


def colours_in(rows, rect):
    x, y, w, h = rect
    return {c for row in rows[TOP + y:TOP + y + h] for c in row[LEFT + x:LEFT + x + w]}


def run_client(folder, script):
    path = os.path.join(folder, "script.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(script)
    env = dict(os.environ, VX_HEADLESS="1", VX_HEADLESS_SCRIPT=path,
               LSAN_OPTIONS="suppressions=" + os.path.join(SOURCE, "scripts", "lsan.supp"))
    return subprocess.run([PROGRAM], env=env, cwd=folder, stderr=subprocess.PIPE, text=True, timeout=600)


def main():
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        first, after, book, branch, customer = (os.path.join(folder, n) for n in (
            "first.png", "after.png", "orders.xls", "branch.png", "customer.png"))
        run = run_client(folder, "\n".join([
            "shot frmClient " + first,
            "click frmClient.cbBranch",                # the help bar follows the focus
            "shot frmClient " + branch,
            "click frmClient.edtCustomer",
            "shot frmClient " + customer,
            "click frmClient.grdOrders 190 32",       # the customer column's header
            "key Ctrl+F",
            "click TfGrid5SearchOption.edt_Search_Text",
            "type Orion",
            "key Enter",
            "close TfGrid5SearchOption",
            "key F6",                                  # delete the order found
            "answer IDYES",
            "key F9",                                  # code help: the branch list
            "shot frmClient " + after,
            "key Escape",
            "key F8",                                  # the export menu, its first item
            "key Down",
            "key Enter",
            "save " + book,
            "answer IDNO",
            "close frmClient",
        ]) + "\n")
        if run.returncode != 0:
            print(run.stderr, file=sys.stderr)
            problems.append("exit code %d" % run.returncode)
        if "주문 10008을(를) 삭제하시겠습니까? -> IDYES" not in run.stderr:
            problems.append("the first Orion order in customer order was not the one found: " + run.stderr)

        rows = read_png(first)
        for name, rect, colour in PAINTED:
            if colour not in colours_in(rows, rect):
                problems.append("%s: no #%06X in %s" % (name, colour, rect))
        # The grid: the sort arrow in the customer header (it was not there before).
        header = (140, 148, 126, 18)
        if colours_in(read_png(after), header) == colours_in(rows, header):
            problems.append("the customer header did not change when sorted")

        # The help bar's text (from Help/frmClient.wxt) changes with the focused control.
        def bar(path):
            return [row[LEFT + 80:LEFT + 680] for row in read_png(path)[TOP + 572:TOP + 590]]
        if bar(branch) == bar(customer) or 0x000000 not in {c for row in bar(branch) for c in row}:
            problems.append("the help text does not follow the focus")

        sheet = xlrd.open_workbook(book).sheet_by_index(0)
        if sheet.row_values(0)[:3] != ["선택", "주문번호", "거래처"]:
            problems.append("header row %r" % sheet.row_values(0))
        numbers = [int(sheet.cell_value(r, 1)) for r in range(1, sheet.nrows)]
        customers = [sheet.cell_value(r, 2) for r in range(1, sheet.nrows)]
        if sorted(numbers) != [n for n in range(10001, 10301) if n != 10008]:
            problems.append("orders exported: %d, 10008 %s" % (len(numbers), "kept" if 10008 in numbers else "gone"))
        if customers != sorted(customers):
            problems.append("not sorted by customer: %r" % customers[:10])
        # Within one customer the orders keep their order (a stable sort).
        for a, b in zip(range(len(numbers)), range(1, len(numbers))):
            if customers[a] == customers[b] and numbers[a] > numbers[b]:
                problems.append("orders %d and %d out of order" % (numbers[a], numbers[b]))
                break
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


sys.exit(main())
