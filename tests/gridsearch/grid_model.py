#!/usr/bin/python3
"""A model of the grid adapter and its search dialog, written from how they are meant
to behave, for the tests to compare the program with.

  grid_model.py GRID OPS OUT

GRID: a line of column kinds ("text", "int", "float", "curr", "bool"), a line of column
tags, a line of the columns' editing options (1: editable), then one line per record,
cells separated by tabs ("\\N" for Null).
OPS: one operation per line, fields separated by tabs: "sorting 0|1" (the adapter's
Sorting), "column C" (a click on column C's header), "band B C" (a click on band B's
header, whose first column is C), "glyph C" (a click on C's check-all glyph),
"allchecked C", "focus R" (record R focused), "cellstyle R C COLOUR TEXTCOLOUR" (a cell's
style set), "content F R C" (the content style of record R's cell in column C while
record F is focused), "search COLUMN TEXT DIRECTION CASE BLANKS INLINE". OUT gets one line per operation that reports something, as the test writes
its own.
"""
import sys


def read_grid(path):
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    kinds = lines[0].split("\t")
    tags = [int(t) for t in lines[1].split("\t")]
    editable = [e == "1" for e in lines[2].split("\t")]
    records = []
    for line in lines[3:]:
        if not line:
            continue
        cells = []
        for kind, text in zip(kinds, line.split("\t")):
            if text == "\\N":
                cells.append(None)
            elif kind == "text":
                cells.append(text)
            elif kind == "bool":
                cells.append(text == "1")
            elif kind == "curr":
                cells.append(int(text))  # ten-thousandths
            elif kind == "float":
                cells.append(int(text) / 100)
            else:
                cells.append(int(text))
        records.append(cells)
    return kinds, tags, editable, records


def sort_key(kind, value):
    # Null first; texts by their UTF-8 bytes with ASCII letters folded to lower case.
    if value is None:
        return (0, 0)
    if kind == "text":
        return (1, value.encode("utf-8").lower())
    return (1, value)


def cell_text(kind, value):
    # The text of a value as the search reads it.
    if value is None:
        return ""
    if kind == "bool":
        return "True" if value else "False"
    if kind == "float":
        return "%.15g" % value
    if kind == "curr":
        sign = "-" if value < 0 else ""
        whole, frac = divmod(abs(value), 10000)
        text = sign + str(whole)
        if frac:
            text += "." + ("%04d" % frac).rstrip("0")
        return text
    return str(value)


def normalized(text, blanks, case):
    b = text.encode("utf-8")
    first, last = 0, len(b)
    while first < last and b[first] <= 0x20:
        first += 1
    while last > first and b[last - 1] <= 0x20:
        last -= 1
    b = b[first:last].replace(b",", b"")
    if blanks:
        b = b.replace(b" ", b"")
    if not case:
        b = b.upper()
    return b


DEFAULT = 0x20000000  # clDefault
NONE = 0x1FFFFFFF  # clNone
SELECTION = 0xF1E9E4  # the selection style of the first style sheet, RGB(228, 233, 241)


class Model:
    def __init__(self, kinds, tags, editable, records):
        self.kinds, self.tags, self.editable, self.records = kinds, tags, editable, records
        self.cell_styles = {}  # (record, column) -> (colour, text colour)
        self.orders = {}  # column -> "asc" / "desc", in the order sorting began
        self.sorting = True
        self.focused = -1  # record
        self.glyph_checked = {c: False for c, t in enumerate(tags) if t & 1 and kinds[c] == "bool"}

    def rows(self):
        order = list(range(len(self.records)))
        for col, direction in reversed(list(self.orders.items())):
            order = sorted(order, key=lambda r: sort_key(self.kinds[col], self.records[r][col]),
                           reverse=direction == "desc")
        return order

    def set_order(self, col, order):
        if order is None:
            self.orders.pop(col, None)
        elif col in self.orders:
            self.orders[col] = order
        else:
            self.orders[col] = order

    def click_column(self, col):
        if not self.sorting or self.tags[col] & 2:
            self.set_order(col, None)
        elif self.orders.get(col) == "desc":
            self.set_order(col, None)
        else:
            new = "desc" if self.orders.get(col) == "asc" else "asc"
            self.orders = {}
            self.set_order(col, new)

    def click_band(self, first):
        keep = self.orders.get(first)
        self.orders = {first: keep} if keep else {}
        if not self.sorting or self.tags[first] & 2:
            self.set_order(first, None)
        else:
            cycle = {None: "asc", "asc": "desc", "desc": None}
            self.set_order(first, cycle[self.orders.get(first)])

    def click_glyph(self, col):
        was = self.glyph_checked[col]
        self.glyph_checked[col] = not was
        for r in self.records:
            r[col] = not was

    def content(self, focused, record, column):
        # The style the adapter gives a cell: the selection for the focused record (with
        # the cell's own text colour), the cell's style unless both its colours are the
        # default; none for editable columns that are no check boxes.
        cell = self.cell_styles.get((record, column))
        if record == focused:
            return "style %d %d" % (SELECTION, cell[1] if cell else NONE)
        if self.editable[column] and self.kinds[column] != "bool":
            return "none"
        if cell and cell != (DEFAULT, DEFAULT):
            return "style %d %d" % cell
        return "none"

    def search(self, column, text, direction, case, blanks, inline):
        if not text.encode("utf-8").strip(bytes(range(33))):
            return "찾을 내용을 입력하세요."
        needle = normalized(text, blanks, case)
        rows = self.rows()
        r = rows.index(self.focused) if self.focused >= 0 else -1
        if direction == "down":
            if r + 1 >= len(rows):
                return "마지막 줄입니다."
            visit = list(range(r + 1, len(rows)))
        elif direction == "up":
            if r - 1 < 0:
                return "첫번째 줄입니다."
            visit = list(range(r - 1, -1, -1))
        else:
            visit = list(range(r + 1, len(rows))) + list(range(0, max(r, 0)))
        searchable = [c for c, k in enumerate(self.kinds) if k != "bool"]
        columns = [column] if column >= 0 else searchable

        def matches(cell):
            if not needle:
                return False
            hay = normalized(cell, blanks, case)
            return needle in hay if inline else hay == needle

        for row in visit:
            rec = rows[row]
            if any(matches(cell_text(self.kinds[c], self.records[rec][c])) for c in columns):
                self.focused = rec
                return "found %d" % rec
        return "더이상 찾을 수 없습니다."


def main():
    model = Model(*read_grid(sys.argv[1]))
    out = []
    with open(sys.argv[2], encoding="utf-8") as f:
        for line in f.read().split("\n"):
            if not line:
                continue
            op = line.split("\t")
            if op[0] == "sorting":
                model.sorting = op[1] == "1"
            elif op[0] == "column":
                model.click_column(int(op[1]))
                out.append("rows " + " ".join(map(str, model.rows())))
            elif op[0] == "glyph":
                model.click_glyph(int(op[1]))
                out.append("allchecked %d" % all(r[int(op[1])] is True for r in model.records))
            elif op[0] == "band":
                model.click_band(int(op[2]))
                out.append("rows " + " ".join(map(str, model.rows())))
            elif op[0] == "allchecked":
                col = int(op[1])
                out.append("allchecked %d" % all(r[col] is True for r in model.records))
            elif op[0] == "focus":
                model.focused = int(op[1])
            elif op[0] == "cellstyle":
                model.cell_styles[(int(op[1]), int(op[2]))] = (int(op[3]), int(op[4]))
            elif op[0] == "content":
                out.append(model.content(int(op[1]), int(op[2]), int(op[3])))
            elif op[0] == "search":
                column, text, direction, case, blanks, inline = op[1:7]
                out.append(model.search(int(column), text, direction, case == "1", blanks == "1", inline == "1"))
    with open(sys.argv[3], "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


main()
