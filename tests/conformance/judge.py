"""Judging what the program prints: is it valid for the doctype it declares,
and does a second run over it change nothing?

Used by tests/conformance/run (the fixed sample in CI and the full corpus
measurement) and by bench/corpus/run_corpus.py --validate.

Validity is judged by peers, offline, with Debian's packages:
- output declaring HTML 2.0, 3.2, 4.0 or 4.01 (an "-//IETF//DTD HTML..." or
  "-//W3C//DTD HTML..." public identifier) goes to `onsgmls -s` (opensp)
  with the catalog `sgml.soc` that w3c-sgml-lib installs; that catalog maps
  every HTML public identifier to a local DTD (OVERRIDE YES) and names the
  SGML declaration that the W3C validator uses;
- output declaring XHTML goes to `xmllint --noout --valid --nonet` with the
  XML catalog of the same package.
Any other output (no doctype, `<!DOCTYPE html>`) declares no DTD to be
valid against and is not judged.
"""

import difflib
import os
import re
import shutil
import subprocess
import tempfile

DTD_DIR = "/usr/share/xml/w3c-sgml-lib/schema/dtd"
SGML_CATALOG = os.path.join(DTD_DIR, "sgml.soc")
XML_CATALOG = os.path.join(DTD_DIR, "catalog.xml")
TIMEOUT = 120

# --------------------------------------------------------------- the program


def run_program(varnel, options, path):
    """Runs the program on a file; returns (status, stdout bytes, stderr text).
    No configuration file of the user takes part."""
    env = dict(os.environ, HTML_VARNEL=os.devnull)
    try:
        p = subprocess.run([varnel] + list(options) + [path], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, env=env, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return -1, b"", "timed out after %d s" % TIMEOUT  # reported by crash()
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def first_error(err):
    """The first error message of a run (or its first line)."""
    for line in err.splitlines():
        if "Error:" in line:
            return line.strip()
    return err.strip().splitlines()[0] if err.strip() else "(no message)"


def refused(status):
    """The program refuses a page it cannot repair with status 2 (and prints
    nothing)."""
    return status == 2


SANITIZER = re.compile(r"ERROR: AddressSanitizer|: runtime error: |ERROR: LeakSanitizer")


def crash(status, out, err):
    """None for a run that ended as the program ends (status 0 or 1 with a
    printed page, or a refusal); else what went wrong."""
    m = SANITIZER.search(err)
    if m:
        line = next(l for l in err.splitlines() if m.group(0) in l)
        return "sanitizer: %s" % line.strip()[:200]
    if status < 0:
        return "killed by signal %d" % -status if status != -1 else err
    if status not in (0, 1, 2):
        return "status %d" % status
    if status != 2 and not out:
        return "status %d and nothing printed" % status
    return None


# --------------------------------------------------------------- the pages

META = re.compile(rb"<meta\b[^>]*>", re.I)
GENERATOR = re.compile(rb"name\s*=\s*[\"']?generator", re.I)
CONTENT = re.compile(rb"content\s*=\s*(\"[^\"]*\"|'[^']*'|[^\s>]*)", re.I)
CHARSET_UTF8 = re.compile(rb"charset\s*=\s*[\"']?\s*utf-?8|encoding\s*=\s*[\"']utf-?8", re.I)


# The generator name that marks such pages, in lower case.
EXCLUDED_GENERATOR = bytes.fromhex("74696479")


def generated_by_excluded_tool(data):
    """True when a meta generator names a program of the family this project
    must not draw on (its name is kept as bytes below): such pages are never
    used."""
    for m in META.finditer(data):
        tag = m.group(0)
        if GENERATOR.search(tag):
            c = CONTENT.search(tag)
            if c and EXCLUDED_GENERATOR in c.group(1).lower():
                return True
    return False


def is_utf8_page(data):
    """A page is read as UTF-8 (-utf8) when its bytes are UTF-8 and it either
    holds characters beyond ASCII or says it is UTF-8; every other page is
    read as the program reads by default."""
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return not data.isascii() or bool(CHARSET_UTF8.search(data[:4096]))


# --------------------------------------------------------------- validity

DOCTYPE = re.compile(rb"<!DOCTYPE\s+([^\s>\[]+)([^>]*)>", re.I)
PUBLIC_ID = re.compile(rb"PUBLIC\s*(\"[^\"]*\"|'[^']*')", re.I)


def declared(out):
    """(judge, label) for the doctype that the output declares: judge is
    "onsgmls" for HTML 2.0/3.2/4.0x, "xmllint" for XHTML and None for any
    other doctype; label is what the public identifier names ("HTML 4.01
    Transitional", "XHTML 1.0 Strict") or what stands there instead."""
    m = DOCTYPE.search(out[:4096])
    if not m:
        return None, "no doctype"
    p = PUBLIC_ID.search(m.group(2))
    if not p:
        return None, "<!DOCTYPE %s%s>" % (m.group(1).decode("latin-1"),
                                         m.group(2).decode("latin-1").rstrip())
    public_id = p.group(1)[1:-1].decode("latin-1")
    parts = public_id.split("//")
    label = parts[2] if len(parts) > 2 else public_id
    label = re.sub(r"^DTD\s+", "", label)
    if label.startswith("XHTML"):
        return "xmllint", label
    if label.startswith("HTML"):
        return "onsgmls", label
    return None, label


def _sgml_env(encoding):
    env = {k: v for k, v in os.environ.items()
           if k not in ("SGML_CATALOG_FILES", "SGML_SEARCH_PATH", "SP_BCTF")}
    env["SP_CHARSET_FIXED"] = "YES"
    env["SP_ENCODING"] = "utf-8" if encoding == "utf8" else "iso-8859-1"
    return env


def _xml_env():
    return dict(os.environ, XML_CATALOG_FILES=XML_CATALOG)


def _run_judge(cmd, env):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                           timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return -1, ["timed out after %d s" % TIMEOUT]
    return p.returncode, p.stderr.decode("utf-8", "replace").splitlines()


def judge_file(judge, path, encoding):
    """Runs one judge over a file; returns the list of its error messages
    (empty when the file is valid), with the file name replaced by "page"."""
    if judge == "onsgmls":
        status, lines = _run_judge(["onsgmls", "-s", "-c", SGML_CATALOG, path], _sgml_env(encoding))
        msgs = [line for line in lines if re.search(r":[EX]:", line)]
        msgs = [re.sub(r"^onsgmls:.*?:(\d+):(\d+):[EX]: ", r"page:\1:\2: ", m) for m in msgs]
    else:
        status, lines = _run_judge(["xmllint", "--noout", "--valid", "--nonet", path], _xml_env())
        # xmllint prints each message with the offending line and a caret
        # under it: keep the message lines, errors first. Warnings alone
        # leave the status at 0: the page is valid.
        msgs = []
        if status != 0:
            found = [line.replace(path, "page") for line in lines
                     if line.startswith(path + ":") or line.startswith(("I/O error", "error"))]
            msgs = [m for m in found if "error" in m] + [m for m in found if "error" not in m]
    if status != 0 and not msgs:
        msgs = ["%s ended with status %d: %s" % (judge, status, " / ".join(lines[:2]))]
    return msgs


def validate(out, encoding, workdir):
    """(judge, label, messages) for printed output: judge None when the
    output declares no doctype that a judge takes; messages empty when the
    output is valid."""
    judge, label = declared(out)
    if judge is None:
        return None, label, []
    path = os.path.join(workdir, "judged.html")
    with open(path, "wb") as f:
        f.write(out)
    return judge, label, judge_file(judge, path, encoding)


def message_kind(message):
    """A message without its position, to group pages by what is wrong."""
    m = re.sub(r"^page:\d+:\d+: ", "", message)
    m = re.sub(r"^page:\d+: ", "", m)
    return m.strip()


# A valid and an invalid page for every doctype the program may declare:
# the judges must accept the first and refuse the second, without network.
_HEAD = "<head><title>t</title></head>"
_SAMPLES = [
    ("onsgmls", '-//IETF//DTD HTML 2.0//EN', None, "<body><p>x</p></body>", "<body><table></table></body>"),
    ("onsgmls", '-//W3C//DTD HTML 3.2 Final//EN', None, "<body><p>x</p></body>", "<body><span>x</span></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.0//EN', "http://www.w3.org/TR/REC-html40/strict.dtd",
     "<body><p>x</p></body>", "<body><font>x</font></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.0 Transitional//EN', "http://www.w3.org/TR/REC-html40/loose.dtd",
     "<body><p>x</p></body>", "<body><p><p>x</p></p></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.0 Frameset//EN', "http://www.w3.org/TR/REC-html40/frameset.dtd",
     '<frameset cols="1,1"><frame src="a"><frame src="b"></frameset>', "<body><p>x</p></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.01//EN', "http://www.w3.org/TR/html4/strict.dtd",
     "<body><p>caf\u00e9 &mdash;</p></body>", "<body><center>x</center></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.01 Transitional//EN', "http://www.w3.org/TR/html4/loose.dtd",
     "<body><center>x</center></body>", "<body><nobr>x</nobr></body>"),
    ("onsgmls", '-//W3C//DTD HTML 4.01 Frameset//EN', "http://www.w3.org/TR/html4/frameset.dtd",
     '<frameset cols="1,1"><frame src="a"><frame src="b"></frameset>', "<body><p>x</p></body>"),
    ("xmllint", '-//W3C//DTD XHTML 1.0 Strict//EN', "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd",
     "<body><p>caf\u00e9 &mdash;</p></body>", "<body><center>x</center></body>"),
    ("xmllint", '-//W3C//DTD XHTML 1.0 Transitional//EN',
     "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd",
     "<body><center>x</center></body>", "<body><nobr>x</nobr></body>"),
    ("xmllint", '-//W3C//DTD XHTML 1.0 Frameset//EN', "http://www.w3.org/TR/xhtml1/DTD/xhtml1-frameset.dtd",
     '<frameset cols="1,1"><frame src="a" /><frame src="b" /></frameset>', "<body><p>x</p></body>"),
    ("xmllint", '-//W3C//DTD XHTML 1.1//EN', "http://www.w3.org/TR/xhtml11/DTD/xhtml11.dtd",
     "<body><p>x</p></body>", '<body><p><a name="n">x</a></p></body>'),
]


def _sample(judge, public_id, system_id, body):
    sys_part = ' "%s"' % system_id if system_id else ""
    if judge == "xmllint":
        return ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE html PUBLIC "%s"%s>\n'
                '<html xmlns="http://www.w3.org/1999/xhtml">%s%s</html>\n'
                % (public_id, sys_part, _HEAD, body)).encode("utf-8")
    return ('<!DOCTYPE HTML PUBLIC "%s"%s>\n<html>%s%s</html>\n'
            % (public_id, sys_part, _HEAD, body)).encode("utf-8")


def preflight():
    """Problems that keep the judges from working here (an empty list when
    both are installed and every doctype resolves to a local DTD)."""
    problems = []
    for tool, package in (("onsgmls", "opensp"), ("xmllint", "libxml2-utils")):
        if not shutil.which(tool):
            problems.append("%s not found (Debian package %s)" % (tool, package))
    for f in (SGML_CATALOG, XML_CATALOG):
        if not os.path.isfile(f):
            problems.append("%s not found (Debian package w3c-sgml-lib)" % f)
    if problems:
        return problems
    with tempfile.TemporaryDirectory(prefix="varnel-judge.") as tmp:
        path = os.path.join(tmp, "sample.html")
        for judge, public_id, system_id, good, bad in _SAMPLES:
            for body, valid in ((good, True), (bad, False)):
                with open(path, "wb") as f:
                    f.write(_sample(judge, public_id, system_id, body))
                msgs = judge_file(judge, path, "utf8")
                if valid and msgs:
                    problems.append("%s rejects a valid %s page: %s" % (judge, public_id, msgs[0]))
                elif not valid and not msgs:
                    problems.append("%s accepts an invalid %s page" % (judge, public_id))
    return problems


# --------------------------------------------------------------- stability

EMPTY_ELEMENT = re.compile(rb"<([a-zA-Z][a-zA-Z0-9]*)\b[^>]*>\s*</\1>")


def instability(first, second):
    """(kind, where) of the first change that a second run makes."""
    a, b = first.split(b"\n"), second.split(b"\n")
    # Only the neighbourhood of the first changed line is compared: matching
    # whole pages line by line takes minutes when every line moves.
    start = 0
    while start < min(len(a), len(b)) and a[start] == b[start]:
        start += 1
    a, b = a[start:start + 40], b[start:start + 40]
    sm = difflib.SequenceMatcher(None, a, b, autojunk=False)
    for tag, i1, i2, j1, j2 in sm.get_opcodes():
        if tag == "equal":
            continue
        ra, rb = b"\n".join(a[i1:i2]), b"\n".join(b[j1:j2])
        if ra.replace(b" ", b"") == rb.replace(b" ", b""):
            kind = "spaces change on the next run"
        elif EMPTY_ELEMENT.search(ra) and (
                EMPTY_ELEMENT.sub(b"", ra).split() == EMPTY_ELEMENT.sub(b"", rb).split()):
            kind = "empty element left, removed by the next run"
        elif ra.split() == rb.split():
            kind = "line breaks change on the next run"
        else:
            kind = "markup changes on the next run"
        return kind, "line %d: %r -> %r" % (start + i1 + 1, ra[:160], rb[:160])
    return "other", ""


def second_run(varnel, options, out, workdir):
    """None when running the program again over its output with the same
    options prints the same bytes; else (kind, where)."""
    path = os.path.join(workdir, "first-output.html")
    with open(path, "wb") as f:
        f.write(out)
    status, out2, err2 = run_program(varnel, options, path)
    failure = crash(status, out2, err2)
    if failure:
        return "second run crashed", failure
    if refused(status):
        return "second run refused", first_error(err2)
    if out2 != out:
        return instability(out, out2)
    return None
