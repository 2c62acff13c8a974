#!/usr/bin/python3
"""Shrinks a page whose printed output is invalid (or changes on a second
run) to a small page that still fails the same way, for reports and
regression cases.

usage: shrink.py VARNEL (FILE | --soup KIND SEED) [--message TEXT | --unstable]
                 [-- OPTIONS...]

OPTIONS are the program's options besides -q (e.g. -- -utf8 -clean). The
page is cut into tokens (tags, comments, words, runs of white space) and
chunks of tokens are removed, halving the chunk size down to one token, as
long as the output still draws a validator message containing TEXT (by
default the first message on the full page, without its position) or,
with --unstable, as long as a second run still changes the output in the
same way (spaces, line breaks or markup). Prints the smallest page, the
options, the output and the message.
"""

import argparse
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import judge  # noqa: E402
import soup  # noqa: E402

TOKEN = re.compile(rb"<!--.*?-->|<[^>]*>|[^<\s]+|\s+|<", re.S)


def outcome(varnel, data, options, tmp):
    """(output, validator messages, second-run change) for a page; output
    None when the program does not print it."""
    path = os.path.join(tmp, "page.html")
    with open(path, "wb") as f:
        f.write(data)
    status, out, err = judge.run_program(varnel, ["-q"] + options, path)
    if judge.crash(status, out, err) or judge.refused(status):
        return None, [], None
    encoding = "utf8" if "-utf8" in options else "default"
    _, _, msgs = judge.validate(out, encoding, tmp)
    return out, msgs, judge.second_run(varnel, ["-q"] + options, out, tmp)


def shrink(tokens, holds):
    n = max(1, len(tokens) // 2)
    while True:
        changed = False
        i = 0
        while i < len(tokens):
            trial = tokens[:i] + tokens[i + n:]
            if trial and holds(trial):
                tokens = trial
                changed = True
            else:
                i += n
        if n == 1 and not changed:
            return tokens
        if not changed:
            n = max(1, n // 2)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("varnel")
    ap.add_argument("file", nargs="?")
    ap.add_argument("--soup", nargs=2, metavar=("KIND", "SEED"))
    ap.add_argument("--message", help="part of the validator message to keep")
    ap.add_argument("--unstable", action="store_true")
    argv = sys.argv[1:]
    options = argv[argv.index("--") + 1:] if "--" in argv else []
    args = ap.parse_args(argv[:argv.index("--")] if "--" in argv else argv)
    if args.soup:
        data = soup.page(args.soup[0], int(args.soup[1]))
    elif args.file:
        data = open(args.file, "rb").read()
    else:
        ap.error("give a FILE or --soup KIND SEED")
    varnel = os.path.abspath(args.varnel)
    with tempfile.TemporaryDirectory(prefix="varnel-shrink.") as tmp:
        out, msgs, change = outcome(varnel, data, options, tmp)
        if out is None:
            print("the program does not print this page")
            return 1
        if args.unstable:
            if not change:
                print("a second run changes nothing")
                return 1
            kind = change[0]

            def holds(tokens):
                found = outcome(varnel, b"".join(tokens), options, tmp)[2]
                return found is not None and found[0] == kind
        else:
            if not msgs:
                print("the output is valid (or declares no doctype that is judged)")
                return 1
            wanted = args.message or judge.message_kind(msgs[0])

            def holds(tokens):
                found = outcome(varnel, b"".join(tokens), options, tmp)[1]
                return any(wanted in m for m in found)

        small = b"".join(shrink(TOKEN.findall(data), holds))
        out, msgs, change = outcome(varnel, small, options, tmp)
        print("options: %s" % " ".join(["-q"] + options))
        print("input:  %r" % small)
        print("output: %r" % out)
        if args.unstable:
            print("second run: %s: %s" % change)
        else:
            print("message: %s" % next(m for m in msgs if wanted in m))
    return 0


if __name__ == "__main__":
    sys.exit(main())
