#!/usr/bin/env python3
"""Names the language texts in the program code.

Program code fetches its texts by name (TextId::DownloadComplete), never by a bare number. This tool
keeps it that way:

  scripts/name-texts.py [PATH...]          rewrites every bare text number in PATH (default: src/)
                                           to its TextId name, read from src/core/lang/TextId.h;
                                           numbers that have no name yet are listed (add them to
                                           TextId.h and run again). Running it twice changes nothing.
                                           Then `git clang-format` re-wraps the lines that grew,
                                           and the compiler shows where a constant or a parameter
                                           that held a number should now hold a TextId.
  scripts/name-texts.py --check [PATH...]  changes nothing; fails when the code holds a bare text
                                           number, or names a text (TextId::Name) that
                                           lang/english.lang lacks.

A bare text number is an integer literal in the text ranges (120-149, 56000-59999) that is either
a number of the language file or of TextId.h (five-digit numbers only: three-digit ones are common
in tables), or that stands where a text is expected: as an argument of text(), format(), has(),
load(), textOr() or logEvent(), or as the value of a constant whose name says it holds a text
(kFooText, kBarId). Comments and string literals are not code and are left alone.
"""
import argparse
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_EXTENSIONS = (".cpp", ".cc", ".h", ".hpp", ".in")
TEXT_CALLS = {"text", "format", "has", "load", "textOr", "logEvent"}
TEXT_CONSTANT = re.compile(r"(Text|TextId|Id|Ids)$|^kText")


def in_text_range(value):
    return 120 <= value <= 149 or 56000 <= value <= 59999


def read_names(header):
    """Name -> number and number -> name from the enum in TextId.h."""
    names, numbers, problems = {}, {}, []
    with open(header, encoding="utf-8") as f:
        text = f.read()
    body = re.search(r"enum\s+class\s+TextId\s*:\s*int\s*\{(.*?)\};", text, re.S)
    if not body:
        sys.exit(f"{header}: no 'enum class TextId : int {{ ... }};' found")
    for name, number in re.findall(r"^\s*([A-Za-z_]\w*)\s*=\s*(\d+)\s*,", body.group(1), re.M):
        number = int(number)
        if name in names:
            problems.append(f"{header}: TextId::{name} is named twice")
        if number in numbers:
            problems.append(f"{header}: text {number} has two names, {numbers[number]} and {name}")
        names[name] = number
        numbers.setdefault(number, name)
    return names, numbers, problems


def read_lang(path):
    numbers = set()
    with open(path, encoding="utf-8-sig") as f:
        for line in f:
            m = re.match(r"(\d+)=", line)
            if m:
                numbers.add(int(m.group(1)))
    return numbers


TOKEN = re.compile(
    r"""(?P<comment>//[^\n]*|/\*.*?\*/)
      | (?P<raw>R"(?P<delim>[^()\\\s]{0,16})\(.*?\)(?P=delim)")
      | (?P<string>"(?:\\.|[^"\\\n])*"|'(?:\\.|[^'\\\n])*')
      | (?P<number>\.?\d(?:[\w.']|[eEpP][+-])*)
      | (?P<ident>[A-Za-z_]\w*)
      | (?P<punct>::|->|[^\s\w])
      | (?P<space>\s+)""",
    re.S | re.X,
)


def tokens(code):
    """(kind, text, start offset) of the code's tokens; comments and string literals are skipped."""
    for m in TOKEN.finditer(code):
        kind = m.lastgroup if m.lastgroup != "delim" else "raw"
        if m.group("raw") is not None:
            kind = "raw"
        if kind in ("comment", "raw", "string", "space"):
            continue
        yield kind, m.group(kind), m.start()


def bare_numbers(code, known):
    """Offsets, lengths and values of the bare text numbers in `code`."""
    found = []
    toks = list(tokens(code))
    opens = []  # (bracket, name of the call or None)
    for i, (kind, text, start) in enumerate(toks):
        if kind == "punct":
            if text in "([{":
                name = toks[i - 1][1] if text == "(" and i > 0 and toks[i - 1][0] == "ident" else None
                opens.append(name)
            elif text in ")]}" and opens:
                opens.pop()
            continue
        if kind != "number" or not text.isdigit() or (len(text) > 1 and text[0] == "0"):
            continue
        value = int(text)
        if not in_text_range(value):
            continue
        bare = value >= 10000 and value in known
        if not bare and opens and opens[-1] in TEXT_CALLS:
            bare = True
        if not bare and i >= 2 and toks[i - 1][1] in ("=", "{") and toks[i - 2][0] == "ident":
            bare = bool(TEXT_CONSTANT.search(toks[i - 2][1]))
        if bare:
            found.append((start, len(text), value))
    return found


def named_ids(code):
    """(name, offset) of every TextId::Name the code uses."""
    toks = list(tokens(code))
    for i in range(len(toks) - 2):
        if toks[i][1] == "TextId" and toks[i + 1][1] == "::" and toks[i + 2][0] == "ident":
            yield toks[i + 2][1], toks[i + 2][2]


def source_files(paths, skip):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for folder, dirs, files in os.walk(path):
            dirs.sort()
            for f in sorted(files):
                full = os.path.join(folder, f)
                if f.endswith(SOURCE_EXTENSIONS) and os.path.abspath(full) != skip:
                    yield full


def line_of(code, offset):
    return code.count("\n", 0, offset) + 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="change nothing; fail on a bare number or a missing text")
    parser.add_argument("--header", default=os.path.join(ROOT, "src/core/lang/TextId.h"))
    parser.add_argument("--lang", default=os.path.join(ROOT, "lang/english.lang"))
    parser.add_argument("paths", nargs="*", default=[os.path.join(ROOT, "src")])
    args = parser.parse_args()

    names, numbers, problems = read_names(args.header)
    lang = read_lang(args.lang)
    known = lang | set(numbers)
    changed = 0
    for path in source_files(args.paths, os.path.abspath(args.header)):
        with open(path, encoding="utf-8") as f:
            code = f.read()
        new = code
        found = bare_numbers(code, known)
        for start, length, value in found if args.check else reversed(found):
            where = f"{os.path.relpath(path)}:{line_of(code, start)}"
            if args.check:
                name = numbers.get(value)
                hint = f" (TextId::{name})" if name else " (no name yet: add one to TextId.h)"
                problems.append(f"{where}: bare text number {value}{hint}")
            elif value in numbers:
                new = new[:start] + "TextId::" + numbers[value] + new[start + length:]
            else:
                problems.append(f"{where}: text {value} has no name: add one to {os.path.relpath(args.header)}")
        if args.check:
            for name, offset in named_ids(code):
                where = f"{os.path.relpath(path)}:{line_of(code, offset)}"
                if name not in names:
                    problems.append(f"{where}: TextId::{name} is not in {os.path.relpath(args.header)}")
                elif names[name] not in lang:
                    problems.append(f"{where}: TextId::{name} ({names[name]}) has no text in {os.path.relpath(args.lang)}")
        elif new != code:
            with open(path, "w", encoding="utf-8") as f:
                f.write(new)
            changed += 1
            print(f"named the texts in {os.path.relpath(path)}")
    for problem in problems:
        print(problem, file=sys.stderr)
    if not args.check:
        print(f"{changed} file(s) changed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
