#!/usr/bin/env python3
"""Turns a Qt translation source (.ts) into a C++ table for programs without
Qt: sorted (context, source, translation) rows, finished translations only.

    ts-table.py INPUT.ts OUTPUT.inc
"""
import sys
import xml.etree.ElementTree as ET


def c_string(text):
    out = []
    for byte in text.encode("utf-8"):
        ch = chr(byte)
        if ch in '"\\?':
            out.append("\\" + ch)
        elif 32 <= byte < 127:
            out.append(ch)
        else:
            out.append("\\%03o" % byte)
    return '"' + "".join(out) + '"'


def main():
    source, target = sys.argv[1], sys.argv[2]
    rows = []
    for context in ET.parse(source).getroot().iter("context"):
        name = context.findtext("name", "")
        for message in context.iter("message"):
            translation = message.find("translation")
            if translation is None or translation.get("type") in ("unfinished", "obsolete", "vanished"):
                continue
            text = translation.text or ""
            if text:
                rows.append((name.encode(), (message.findtext("source") or "").encode(), text))
    rows.sort(key=lambda row: (row[0], row[1]))
    with open(target, "w", encoding="ascii") as out:
        out.write("// Generated from %s by tools/ts-table.py; do not edit.\n" % source.split("/")[-1])
        for context, text, translation in rows:
            out.write("{%s, %s, %s},\n" % (c_string(context.decode()), c_string(text.decode()),
                                          c_string(translation)))


if __name__ == "__main__":
    main()
