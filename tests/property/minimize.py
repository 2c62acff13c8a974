#!/usr/bin/python3
"""Shrinks a page on which the word-order property fails to a small one
that still fails the same way (for reports and regression cases).

usage: minimize.py --varnel PROG (--seed N [--size B] | FILE) [--category C]
                   [--unstable] [-- OPTIONS...]

The page is cut into tokens (tags, comments, words, runs of white space);
chunks of tokens are removed, halving the chunk size down to one token,
as long as the program's output still shows a difference of the category
(by default the first category found on the full page), or, with
--unstable, as long as a second run over the output changes it. Prints the
smallest page, the options, the program's output for it and the difference.
"""

import argparse
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import gen_pages  # noqa: E402
import word_order as wo  # noqa: E402

TOKEN = re.compile(rb"<!--.*?-->|<[^>]*>|[^<\s]+|\s+|<", re.S)


def categories(varnel, data, options, tmp, unstable=False):
    if unstable:
        # The category is "unstable": a second run changes the output.
        status, out, _ = wo.run_program(varnel, data, options, tmp)
        if status >= 2 or not out:
            return set(), []
        status2, out2, _ = wo.run_program(varnel, out, options, tmp)
        return ({"unstable"} if out2 != out else set()), [("unstable", "second run differs")]
    problem, diffs = wo.check_page(varnel, data, options, tmp)
    if problem and not diffs:
        return {problem.split(":")[0]}, []
    return {c for c, _ in diffs}, diffs


_TAG = re.compile(rb"<(/?)([a-zA-Z][a-zA-Z0-9]*)")
_TABLE_PARTS = {b"td", b"th", b"tr", b"caption", b"thead", b"tbody", b"tfoot", b"col", b"colgroup"}


def within_generator_rules(tokens):
    """Whether a shrunk page still keeps to what the generator produces.

    Shrinking may take away a table's cell start tag and leave text or
    inline markup directly in the table, or take away the table start tag
    and leave its cells in the open, or take away a select and leave its
    options. The program moves or builds by rules of its own there (and a
    browser parsing a page without a doctype keeps a table inside a
    paragraph), legitimate differences that must not stand in for the
    fault being shrunk.
    """
    tables = selects = 0
    in_cell = []  # per open table: whether a cell is open
    for t in tokens:
        m = _TAG.match(t)
        if not m:
            if tables > 0 and not in_cell[-1] and t.strip() and not t.startswith(b"<!--"):
                return False
            continue
        end, name = m.group(1), m.group(2).lower()
        if name == b"table":
            if end:
                if tables <= 0:
                    return False
                tables -= 1
                in_cell.pop()
            else:
                if tables > 0 and not in_cell[-1]:
                    return False
                tables += 1
                in_cell.append(False)
        elif name == b"select":
            selects += -1 if end else 1
        elif name in (b"option", b"optgroup") and selects <= 0:
            return False
        elif name in _TABLE_PARTS:
            if tables <= 0:
                return False
            in_cell[-1] = name in (b"td", b"th") and not end
        elif tables > 0 and not in_cell[-1]:
            return False
    return True


def shrink(tokens, holds):
    n = max(1, len(tokens) // 2)
    while True:
        changed = False
        i = 0
        while i < len(tokens):
            trial = tokens[:i] + tokens[i + n:]
            if trial and within_generator_rules(trial) and holds(trial):
                tokens = trial
                changed = True
            else:
                i += n
        if n == 1 and not changed:
            return tokens
        if not changed:
            n = max(1, n // 2)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--seed", type=int)
    ap.add_argument("--size", type=int, default=2500)
    ap.add_argument("--category")
    ap.add_argument("--unstable", action="store_true",
                    help="shrink a page whose output changes on a second run")
    ap.add_argument("file", nargs="?")
    ap.add_argument("options", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    options = [o for o in args.options if o != "--"]
    if args.seed is not None:
        data = gen_pages.page(args.seed, args.size)
    else:
        data = open(args.file, "rb").read()
    with tempfile.TemporaryDirectory(prefix="varnel-min.") as tmp:
        cats, _ = categories(args.varnel, data, options, tmp, args.unstable)
        if not cats:
            print("the page passes with these options")
            return 1
        cat = args.category or sorted(cats)[0]
        if cat not in cats:
            print("category %r not seen; seen: %s" % (cat, ", ".join(sorted(cats))))
            return 1

        def holds(tokens):
            return cat in categories(args.varnel, b"".join(tokens), options, tmp, args.unstable)[0]

        tokens = shrink(TOKEN.findall(data), holds)
        small = b"".join(tokens)
        _, diffs = categories(args.varnel, small, options, tmp, args.unstable)
        status, out, _ = wo.run_program(args.varnel, small, options, tmp)
        print("category: %s" % cat)
        print("options: %s" % " ".join(["-q"] + options))
        print("input: %r" % small)
        body = out.split(b"<body>", 1)[-1].rsplit(b"</body>", 1)[0] if b"<body>" in out else out
        print("output body: %r" % body)
        if args.unstable:
            _, out2, _ = wo.run_program(args.varnel, out, options, tmp)
            print("second output: %r" % out2.split(b"<body>", 1)[-1].rsplit(b"</body>", 1)[0])
        for c, t in diffs:
            if c == cat:
                print("difference: %s" % t)
    return 0


if __name__ == "__main__":
    sys.exit(main())
