#!/usr/bin/python3
"""The bash completion offers exactly the program's switches, the "--name"
form of every configuration option (with the values that `varnel
-help-config` lists for it), and file names where a file is expected. It
is loaded into a plain bash and asked as bash asks it at a <Tab>.

usage: tests/docs/completion.py VARNEL COMPLETION_SCRIPT [SOURCE_DIR]"""

import os
import shlex
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import program_tables  # noqa: E402

# Options whose -help-config type lists no words to offer.
FREE_TYPES = {"string", "word", "tag names"}


def ask(script, lines, workdir):
    """Completes each command line (a list of words, the last one being
    completed) and returns the candidates offered, as sets."""
    program = ["source %s" % shlex.quote(script)]
    for words in lines:
        program.append("COMP_WORDS=(%s); COMP_CWORD=%d; COMPREPLY=(); _varnel; "
                       "printf '%%s\\n' \"${COMPREPLY[@]}\"; echo '@@end'"
                       % (" ".join(shlex.quote(w) for w in words), len(words) - 1))
    run = subprocess.run(["bash", "--norc", "--noprofile", "-c", "\n".join(program)],
                         capture_output=True, text=True, cwd=workdir)
    if run.returncode != 0 or run.stderr:
        raise SystemExit("bash could not run the completion: %s" % run.stderr)
    answers = run.stdout.split("@@end\n")[:-1]
    return [set(a.split("\n")) - {""} for a in answers]


def expected_values(kind):
    """The values to offer for an option of this -help-config type, or None
    when the value is a number, text or names (nothing to offer)."""
    if kind == "boolean":
        return {"yes", "no"}
    if "|" in kind:
        return set(kind.split("|")) - {'"..."'}
    return None


def main():
    varnel, script = sys.argv[1], os.path.abspath(sys.argv[2])
    source_dir = sys.argv[3] if len(sys.argv) > 3 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..")
    table = program_tables.table_options(source_dir)
    listed = program_tables.help_config(varnel)
    words, letters = program_tables.switches(source_dir)
    problems = []

    with tempfile.TemporaryDirectory() as workdir:
        for name in ("page.html", "other.htm", "settings.cfg"):
            open(os.path.join(workdir, name), "w").close()
        os.mkdir(os.path.join(workdir, "pages"))

        questions = [["varnel", "-"], ["varnel", "--"], ["varnel", "pa"],
                     ["varnel", "-config", "set"], ["varnel", "-f", ""],
                     ["varnel", "--error-file", "o"], ["varnel", "-wrap", ""],
                     ["varnel", "-q", "--indent", "a"]]
        for name in table:
            questions.append(["varnel", "--" + name])
            questions.append(["varnel", "-i", "--" + name, ""])
        answers = ask(script, questions, workdir)
        got = dict(zip((tuple(q) for q in questions), answers))

        def check(words_, expected, what):
            offered = got[tuple(words_)]
            if offered != expected:
                problems.append("%s: %r offers %s, expected %s"
                                % (what, " ".join(words_), sorted(offered), sorted(expected)))

        # Switches: the single-dash words of the switch tables, the
        # combinable letters, and -h; the "--" forms come with "--".
        short = {w for w in words if not w.startswith("--")}
        check(["varnel", "-"], short | {"-" + l for l in letters} | {"-h"}, "switches")
        check(["varnel", "--"], {"--" + n for n in table} | {
            w for w in words if w.startswith("--")}, "long options")
        check(["varnel", "pa"], {"page.html", "pages"}, "file names")
        check(["varnel", "-config", "set"], {"settings.cfg"}, "-config file")
        check(["varnel", "-f", ""], {"page.html", "other.htm", "settings.cfg", "pages"},
              "-f file")
        check(["varnel", "--error-file", "o"], {"other.htm"}, "--error-file file")
        check(["varnel", "-wrap", ""], set(), "-wrap number")
        check(["varnel", "-q", "--indent", "a"], {"auto"}, "--indent value")

        for name in table:
            if name not in listed:
                problems.append("-help-config does not list %s" % name)
                continue
            if "--" + name not in got[("varnel", "--" + name)]:
                problems.append("--%s is not offered" % name)
            kind = listed[name][0]
            values = expected_values(kind)
            if values is None and not (kind in FREE_TYPES or kind.startswith("integer")):
                problems.append("option %s: unknown type %r in -help-config" % (name, kind))
                continue
            if name == "error-file":
                values = {"page.html", "other.htm", "settings.cfg", "pages"}
            check(["varnel", "-i", "--" + name, ""], values or set(), "value of --" + name)

    for problem in problems:
        print(problem)
    print("completion: %d options and %d switch words checked; %d problems"
          % (len(table), len(words), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
