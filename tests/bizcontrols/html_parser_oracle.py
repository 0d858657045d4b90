#!/usr/bin/env python3
"""Runs Python's html.parser over tagged texts, one a line in the input file, and writes
for each the runs a reader of the text expects: every piece of text with the flags of
the tags around it, the attribute texts of those tags (innermost first, each followed
by a space) and its scrolling-text group; and every line break with its attributes.

  html_parser_oracle.py INPUT OUTPUT

Output, per input line: "T<TAB>flags<TAB>group<TAB>text<TAB>attributes" for a text,
"R<TAB>1<TAB>group<TAB><TAB>attributes" for a line break, then "E".
"""

import sys
from html.parser import HTMLParser

FLAGS = {"BR": 1, "B": 2, "I": 4, "U": 8, "A": 16, "BLINK": 32, "MARQUEE": 64, "FONT": 128}


def attribute_text(start_tag):
    inner = start_tag[1:-1]
    space = inner.find(" ")
    return "" if space < 0 else inner[space + 1:]


class Runs(HTMLParser):
    def __init__(self, groups):
        super().__init__(convert_charrefs=True)
        self.stack = []  # (name, attribute text)
        self.groups = groups  # [last group handed out]
        self.group = -1
        self.out = []

    def in_marquee(self):
        return any(name == "MARQUEE" for name, _ in self.stack)

    def content(self):
        # A scrolling block takes its number when something stands in it.
        if self.in_marquee() and self.group < 0:
            self.groups[0] += 1
            self.group = self.groups[0]

    def prop(self):
        return "".join(attrs + " " for _, attrs in reversed(self.stack))

    def handle_starttag(self, tag, attrs):
        self.content()
        name = tag.upper()
        text = attribute_text(self.get_starttag_text())
        if name == "BR":
            self.out.append("R\t1\t%d\t\t%s" % (self.group, text))
            return
        self.stack.append((name, text))

    def handle_endtag(self, tag):
        name = tag.upper()
        assert self.stack and self.stack[-1][0] == name, (tag, self.stack)
        self.stack.pop()
        if not self.in_marquee():
            self.group = -1

    def handle_data(self, data):
        if not data:
            return
        self.content()
        flags = 0
        for name, _ in self.stack:
            flags |= FLAGS[name]
        self.out.append("T\t%d\t%d\t%s\t%s" % (flags, self.group, data, self.prop()))


def main():
    groups = [-1]
    with open(sys.argv[1], encoding="utf-8") as src, open(sys.argv[2], "w", encoding="utf-8") as dst:
        for line in src:
            parser = Runs(groups)
            parser.feed(line.rstrip("\n"))
            parser.close()
            for run in parser.out:
                dst.write(run + "\n")
            dst.write("E\n")


if __name__ == "__main__":
    main()
