"""What the program's own tables say: the configuration options (from the
option table in the source and from `varnel -help-config`) and the
switches (from the switch tables in the source). The manual page and the
bash completion are checked against these, so that neither can drift from
the program."""

import os
import re
import subprocess

# The option table has one row per option: {"name", parse_..., ...}.
OPTION_ROW = re.compile(r'\{\s*"([a-z0-9-]+)"\s*,\s*parse_')
# Switch words are string literals such as "-indent" or "--wrap".
SWITCH_WORD = re.compile(r'"(--?[a-z?][a-z0-9-]*)"')
# Single-letter switches that combine ("-imu"): {'i', ...}.
FLAG_LETTER = re.compile(r"\{\s*'([a-z])'\s*,")

# The number of options the table has had since it was written; fewer found
# means the table could not be read.
MIN_OPTIONS = 55


def _source_files(source_dir):
    for root, _dirs, files in os.walk(os.path.join(source_dir, "src")):
        for name in sorted(files):
            if name.endswith((".cpp", ".h")):
                yield os.path.join(root, name)


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def table_options(source_dir):
    """Option names in the order of the option table."""
    names = []
    for path in _source_files(source_dir):
        with open(path, encoding="utf-8") as f:
            names += OPTION_ROW.findall(_strip_comments(f.read()))
    if len(names) < MIN_OPTIONS:
        raise SystemExit("found only %d rows of the option table under %s/src"
                         % (len(names), source_dir))
    return names


def switches(source_dir):
    """(switch words, flag letters) named in the program's source, comments
    left out. Only the command-line files name switch words."""
    words, letters = set(), set()
    for path in _source_files(source_dir):
        with open(path, encoding="utf-8") as f:
            text = _strip_comments(f.read())
        found = SWITCH_WORD.findall(text)
        if found:
            words.update(found)
            letters.update(FLAG_LETTER.findall(text))
    if "-help" not in words or not letters:
        raise SystemExit("could not find the switch tables under %s/src" % source_dir)
    return words, letters


def help_config(varnel):
    """{name: (type, default)} as `varnel -help-config` lists them."""
    env = dict(os.environ, HTML_VARNEL="/dev/null")
    run = subprocess.run([varnel, "-help-config"], capture_output=True, text=True, env=env)
    if run.returncode != 0:
        raise SystemExit("varnel -help-config exited with %d" % run.returncode)
    lines = run.stdout.splitlines()
    try:
        header = next(i for i, line in enumerate(lines) if line.split()[:1] == ["option"])
    except StopIteration:
        raise SystemExit("varnel -help-config printed no table header")
    head = lines[header]
    type_at, default_at = head.index("type"), head.index("default")
    listed = {}
    for line in lines[header + 1:]:
        if not line.strip():
            continue
        name = line[:type_at].strip()
        listed[name] = (line[type_at:default_at].strip(), line[default_at:].strip())
    return listed
