#!/usr/bin/env python3
"""Fills translations from a tab-separated file into a Qt translation source
(.ts), as finished translations, for the entries the .ts holds.

    apply-translations.py TRANSLATIONS.tsv [FILE.ts]

Each line of the TSV is: context, source text, translation. In the texts,
\\n, \\r, \\t and \\\\ stand for a line feed, a carriage return, a tab and a
backslash; empty lines and lines starting with '#' are skipped. FILE.ts
defaults to res/translations/bytemender_en.ts; run tools/update-translations.sh
first so that it holds the texts the code marks. The file is edited in place,
keeping lupdate's layout, so that the next lupdate run changes nothing. Entries
of the TSV the .ts does not hold are listed; the exit status is 1 when a line
of the TSV is malformed.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}


def unescape_tsv(text, where):
    out = []
    i = 0
    while i < len(text):
        ch = text[i]
        if ch == "\\":
            if i + 1 >= len(text) or text[i + 1] not in ESCAPES:
                raise ValueError("%s: unknown escape in %r" % (where, text))
            out.append(ESCAPES[text[i + 1]])
            i += 2
        else:
            out.append(ch)
            i += 1
    return "".join(out)


def read_tsv(path):
    table = {}
    with open(path, encoding="utf-8") as tsv:
        for number, line in enumerate(tsv, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            where = "%s:%d" % (path, number)
            fields = line.split("\t")
            if len(fields) != 3:
                raise ValueError("%s: expected 3 tab-separated fields, found %d" % (where, len(fields)))
            context, source, translation = (unescape_tsv(f, where) for f in fields)
            if not translation:
                raise ValueError("%s: empty translation" % where)
            table[(context, source)] = translation
    return table


def xml_unescape(text):
    def entity(match):
        name = match.group(1)
        named = {"amp": "&", "lt": "<", "gt": ">", "quot": '"', "apos": "'"}
        if name in named:
            return named[name]
        if name.startswith("#x"):
            return chr(int(name[2:], 16))
        if name.startswith("#"):
            return chr(int(name[1:]))
        return match.group(0)

    return re.sub(r"&([#\w]+);", entity, text)


def xml_escape(text):
    # As lupdate writes texts.
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&apos;"))


CONTEXT = re.compile(r"<context>\s*<name>(.*?)</name>(.*?)</context>", re.S)
MESSAGE = re.compile(r"(<message(?:\s[^>]*)?>)(.*?)(</message>)", re.S)
SOURCE = re.compile(r"<source>(.*?)</source>", re.S)
TRANSLATION = re.compile(r"<translation(?:\s[^>]*)?(?:/>|>.*?</translation>)", re.S)


def apply(ts_text, table):
    used = set()
    filled = 0

    def fill_message(context, match):
        nonlocal filled
        opening, body, closing = match.groups()
        source = SOURCE.search(body)
        if not source or "numerus" in opening:
            return match.group(0)
        key = (context, xml_unescape(source.group(1)))
        if key not in table:
            return match.group(0)
        used.add(key)
        new = "<translation>%s</translation>" % xml_escape(table[key])
        old = TRANSLATION.search(body)
        if old:
            if old.group(0) == new:
                return match.group(0)
            body = body[:old.start()] + new + body[old.end():]
        else:
            body = body.rstrip() + "\n        " + new + "\n    "
        filled += 1
        return opening + body + closing

    def fill_context(match):
        context = xml_unescape(match.group(1))
        body = MESSAGE.sub(lambda m: fill_message(context, m), match.group(2))
        return match.group(0)[: match.start(2) - match.start(0)] + body + "</context>"

    return CONTEXT.sub(fill_context, ts_text), filled, used


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__.strip())
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    ts_path = sys.argv[2] if len(sys.argv) == 3 else os.path.join(
        root, "res", "translations", "bytemender_en.ts")
    try:
        table = read_tsv(sys.argv[1])
    except (OSError, ValueError) as problem:
        print(problem, file=sys.stderr)
        return 1
    with open(ts_path, encoding="utf-8") as ts:
        text = ts.read()
    result, filled, used = apply(text, table)
    ET.fromstring(result.encode("utf-8"))  # still well formed
    if result != text:
        with open(ts_path, "w", encoding="utf-8") as ts:
            ts.write(result)
    print("%s: %d translation(s) filled" % (ts_path, filled))
    for context, source in sorted(set(table) - used):
        print("not in the .ts (not marked yet?): %s\t%r" % (context, source))
    return 0


if __name__ == "__main__":
    sys.exit(main())
