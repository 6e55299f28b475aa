#!/usr/bin/env python3
"""Checks that a Qt translation source (.ts) is complete and fits its texts.

    check-translations.py FILE.ts [--update-script tools/update-translations.sh]

Fails (exit status 1, every problem listed) when a message has no finished
translation, or when a translation differs from its source text in what the
program relies on: the placeholders %1 to %9 it fills, the leading and
trailing blanks and the line breaks. With --update-script, also runs that
script (lupdate) on a copy of the file and fails when the code marks texts the
file lacks, or the file holds texts the code no longer marks.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

PLACEHOLDER = re.compile(r"%([1-9])")


def messages(path):
    """(context, source) -> translation element, for the messages in use."""
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name", "")
        for message in context.iter("message"):
            translation = message.find("translation")
            if translation is not None and translation.get("type") in ("obsolete", "vanished"):
                continue
            found[(name, message.findtext("source") or "")] = translation
    return found


def edges(text):
    stripped = text.strip(" \t\r\n")
    if not stripped:
        return text, ""
    start = text.index(stripped)
    return text[:start], text[start + len(stripped):]


def content_problems(path):
    problems = []
    for (context, source), translation in sorted(messages(path).items()):
        where = "%s %r" % (context, source)
        if translation is None or translation.get("type") == "unfinished":
            problems.append("%s: not translated (or not marked finished)" % where)
            continue
        if translation.find("numerusform") is not None:
            texts = [form.text or "" for form in translation.iter("numerusform")]
        else:
            texts = [translation.text or ""]
        for text in texts:
            if not text.strip():
                problems.append("%s: empty translation" % where)
                continue
            if set(PLACEHOLDER.findall(text)) != set(PLACEHOLDER.findall(source)):
                problems.append("%s: placeholders differ in %r" % (where, text))
            if edges(text) != edges(source):
                problems.append("%s: leading or trailing blanks differ in %r" % (where, text))
            if text.count("\n") != source.count("\n"):
                problems.append("%s: line breaks differ in %r" % (where, text))
    return problems


def staleness_problems(path, script):
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, os.path.basename(path))
        shutil.copyfile(path, copy)
        run = subprocess.run(["bash", script, copy], capture_output=True, text=True)
        if run.returncode != 0:
            return ["%s failed (%d): %s" % (script, run.returncode, run.stderr.strip())]
        now = set(messages(copy))
    had = set(messages(path))
    problems = ["%s %r: marked in the code but missing from %s; run %s and translate it"
                % (context, source, path, script) for context, source in sorted(now - had)]
    problems += ["%s %r: no longer marked in the code; run %s" % (context, source, script)
                 for context, source in sorted(had - now)]
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("ts")
    parser.add_argument("--update-script")
    args = parser.parse_args()
    problems = content_problems(args.ts)
    if args.update_script:
        problems += staleness_problems(args.ts, args.update_script)
    for problem in problems:
        print(problem)
    if problems:
        print("%d problem(s) in %s" % (len(problems), args.ts))
        return 1
    print("%s: %d messages, all translated" % (args.ts, len(messages(args.ts))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
