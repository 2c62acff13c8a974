#!/usr/bin/python3
"""The manual page documents every configuration option of the option table,
each with the type and default that `varnel -help-config` prints, and every
switch; and it renders without a warning from groff or man.

usage: tests/docs/manual.py VARNEL [SOURCE_DIR]"""

import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import program_tables  # noqa: E402

# The first line of an option entry: \fBname\fR \fItype\fR, default \fBvalue\fR
ENTRY = re.compile(r"^\\fB(?P<name>[^\\]*(?:\\-[^\\]*)*)\\fR \\fI(?P<type>.*?)\\fR, "
                   r"default \\fB(?P<default>.*)\\fR$")


def unescape(text):
    for escape, char in (("\\-", "-"), ("\\(dq", '"'), ("\\(aq", "'"), ("\\&", ""),
                         ("\\e", "\\")):
        text = text.replace(escape, char)
    return re.sub(r"\\f[BIRP]", "", text)


def manual_entries(page):
    """{name: (type, default)} from the option entries of the manual page."""
    lines = page.splitlines()
    entries = {}
    for i, line in enumerate(lines[:-1]):
        if line != ".TP":
            continue
        m = ENTRY.match(lines[i + 1])
        if m:
            name = unescape(m.group("name"))
            if name in entries:
                raise SystemExit("varnel.1: option %s has two entries" % name)
            entries[name] = (unescape(m.group("type")), unescape(m.group("default")))
    return entries


def rendered_warnings(manual):
    """What groff and man say while they format the page."""
    problems = []
    run = subprocess.run(["groff", "-man", "-ww", "-z", manual], capture_output=True, text=True)
    if run.returncode != 0 or run.stderr:
        problems.append("groff -man -ww -z: status %d\n%s" % (run.returncode, run.stderr))
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    run = subprocess.run(["man", "--warnings", "-l", manual], capture_output=True, text=True,
                         env=env)
    if run.returncode != 0 or run.stderr:
        problems.append("man --warnings -l: status %d\n%s" % (run.returncode, run.stderr))
    elif not re.search(r"^NAME\n\s+varnel - ", run.stdout, re.M):
        problems.append("man -l: the rendered page has no NAME section for varnel")
    return problems


def main():
    varnel = sys.argv[1]
    source_dir = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..")
    manual = os.path.join(source_dir, "varnel.1")
    with open(manual, encoding="utf-8") as f:
        page = f.read()

    table = program_tables.table_options(source_dir)
    listed = program_tables.help_config(varnel)
    entries = manual_entries(page)
    problems = []

    for name in table:
        if name not in listed:
            problems.append("-help-config does not list option %s" % name)
        if name not in entries:
            problems.append("varnel.1 has no entry for option %s" % name)
        elif name in listed and entries[name] != listed[name]:
            problems.append("option %s: varnel.1 says %s, -help-config says %s"
                            % (name, entries[name], listed[name]))
    for name in sorted(set(listed) - set(table)):
        problems.append("-help-config lists %s, which the option table does not have" % name)
    for name in sorted(set(entries) - set(table)):
        problems.append("varnel.1 documents option %s, which the option table does not have"
                        % name)

    # Every switch word and combinable letter is named in the manual page.
    text = unescape(page)
    words, letters = program_tables.switches(source_dir)
    for word in sorted(words | {"-" + letter for letter in letters}):
        if not re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text):
            problems.append("varnel.1 does not name the switch %s" % word)

    problems += rendered_warnings(manual)

    for problem in problems:
        print(problem)
    print("manual: %d options, %d switch words and %d letters checked; %d problems"
          % (len(table), len(words), len(letters), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
