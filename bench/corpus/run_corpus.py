#!/usr/bin/python3
"""Runs varnel over real pages (Debian's HTML documentation) and reports
where the output shows something else than the input, as a browser reads
both (html5lib parse of each; see tests/property/visible_text.py):

  (a) the visible text of the body as a word sequence (white space
      collapsed outside preformatted text, inline element boundaries not
      separating words, blocks and br separating them);
  (b) the exact shown content of every pre (after the rule that a line
      feed right after <pre> is dropped);
  (c) stability: a second run over the output must give the same bytes.

Pages that the program refuses (status 2, nothing printed) are counted
apart, with the first error message. Pages whose generator mark names a
program of the family this project must not draw on are never used.

usage:
  bench/corpus/install-docs.sh          # once, as root
  bench/corpus/run_corpus.py --varnel build/varnel [--options "-utf8 -q"]...
        [--report DIR] [--max-per-package N] [--jobs 2] [--validate]

--options may be given several times; each option set gets its own
report directory DIR/<name>/ with summary.txt and failures/<page>.txt.
--validate also runs onsgmls (OpenSP with the W3C DTDs) on output that
declares HTML 4.01, 4.0, 3.2 or 2.0 and `xmllint --valid` on XHTML output,
and counts the invalid pages (tests/conformance/judge.py; the conformance
check tests/conformance/run judges the same way, with known failures).
--vnu JAR runs the Nu HTML Checker (vnu.jar, npm package vnu-jar, with
Java) over every page that declares HTML5 (<!DOCTYPE html>) as given and
as printed, and counts the pages valid before and after.
"""

import argparse
import collections
import gzip
import hashlib
import json
import multiprocessing
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "property"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "conformance"))

import judge  # noqa: E402
import visible_text as vt  # noqa: E402
import word_order as wo  # noqa: E402

PACKAGES = ["apache2-doc", "python3.11-doc", "postgresql-doc-15", "sqlite3-doc", "vim-doc",
            "zsh-doc", "nodejs-doc", "debian-reference-en", "debian-faq", "bind9-doc",
            "debian-policy"]
DEFAULT_OPTIONS = "-utf8 -q"
PAGE_SUFFIX = re.compile(r"\.html?(\.en)?(\.gz)?$")


# ---------------------------------------------------------------- collecting

def package_files(package, extracted):
    """HTML files of an installed package, or of one unpacked under
    `extracted` (see install-docs.sh)."""
    files = []
    try:
        out = subprocess.run(["dpkg", "-L", package], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True).stdout.decode()
        files = [f for f in out.splitlines() if PAGE_SUFFIX.search(f) and os.path.isfile(f)]
    except (subprocess.CalledProcessError, FileNotFoundError):
        pass
    root = os.path.join(extracted, package)
    if not files and os.path.isdir(root):
        for d, _, names in os.walk(root):
            files += [os.path.join(d, n) for n in names if PAGE_SUFFIX.search(n)]
    return sorted(files)


def collect(pages_dir, max_per_package, extracted):
    """Copy (and decompress) the pages into pages_dir; returns the manifest:
    a list of (page id, package, source path)."""
    os.makedirs(pages_dir, exist_ok=True)
    manifest = []
    seen = set()
    counts = collections.Counter()
    for package in PACKAGES:
        files = package_files(package, extracted)
        if not files:
            print("note: no pages from %s (not installed?)" % package)
            continue
        # An even spread over the package, the same every time.
        if max_per_package and len(files) > max_per_package:
            step = len(files) / max_per_package
            files = [files[int(i * step)] for i in range(max_per_package)]
        for path in files:
            data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
            digest = hashlib.sha1(data).hexdigest()
            if digest in seen:
                counts["duplicate"] += 1
                continue
            seen.add(digest)
            if judge.generated_by_excluded_tool(data):
                counts["generator excluded"] += 1
                continue
            name = PAGE_SUFFIX.sub("", os.path.basename(path))
            page_id = "%s--%s-%s" % (package, re.sub(r"[^A-Za-z0-9_.-]", "_", name), digest[:6])
            with open(os.path.join(pages_dir, page_id + ".html"), "wb") as f:
                f.write(data)
            manifest.append((page_id, package, path))
            counts[package] += 1
    with open(os.path.join(pages_dir, "manifest.tsv"), "w") as f:
        for row in manifest:
            f.write("\t".join(row) + "\n")
    return manifest, counts


# ---------------------------------------------------------------- checking

# Cached readings of the input pages are valid only for the reader that made
# them: its source is part of their key.
with open(vt.__file__, "rb") as _reader:
    READER_VERSION = hashlib.sha1(_reader.read()).hexdigest()[:12]


def cached_items(cache_dir, data, enc, rules):
    """Input pages are read once per encoding and rule set, not once per
    option set."""
    key = "%s-%s-%s-%d-%s.json" % (hashlib.sha1(data).hexdigest(), READER_VERSION, enc,
                                   rules.clean, rules.tab_size)
    path = os.path.join(cache_dir, key)
    try:
        with open(path) as f:
            return [tuple(x) if isinstance(x, list) else x for x in json.load(f)]
    except (OSError, ValueError):
        pass
    items = vt.page_items(data, enc, rules)
    tmp = path + ".%d" % os.getpid()
    with open(tmp, "w") as f:
        json.dump(items, f)
    os.replace(tmp, path)
    return items


HTML5_DOCTYPE = re.compile(rb"^\s*(<!--.*?-->\s*)*<!doctype\s+html\s*(system\s+[\"']about:legacy-compat[\"']\s*)?>",
                           re.I | re.S)


def declares_html5(data):
    data = data[3:] if data.startswith(b"\xef\xbb\xbf") else data
    return HTML5_DOCTYPE.match(data[:4096]) is not None


def vnu_failing(jar, files):
    """The files among `files` that the Nu HTML Checker finds errors in; one
    Java start for all of them."""
    failing = set()
    for i in range(0, len(files), 200):
        batch = files[i:i + 200]
        r = subprocess.run(["java", "-jar", jar, "--errors-only", "--format", "json"] + batch,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            messages = json.loads(r.stderr.decode("utf-8", "replace") or r.stdout.decode() or "{}")
        except ValueError:
            messages = {"messages": []}
        for m in messages.get("messages", []):
            if m.get("type") == "error" or m.get("subType") == "fatal":
                url = m.get("url", "")
                failing.add(os.path.abspath(url[5:] if url.startswith("file:") else url))
    return failing


ENCODING_OPTIONS = ("-raw", "-ascii", "-latin1", "-utf8", "-iso2022", "-mac", "--char-encoding")


def reading_of(options, reading):
    """How input and output bytes are read: "browser" reads each as a
    browser does (by its byte order mark or declared charset, else UTF-8
    when the bytes are UTF-8, else Windows-1252); "utf8" and "latin1" read
    them as the program does with -utf8 and by default before it chose per
    document. With reading "auto", an option set that gives no encoding is
    read as a browser reads it, since the program then chooses as a browser
    does; one that gives an encoding is read in it."""
    if reading == "auto":
        reading = "program" if any(o in ENCODING_OPTIONS for o in options) else "browser"
    if reading == "browser":
        return "browser"
    return "utf8" if "-utf8" in options else "latin1"


def check(job):
    varnel, options, page_path, cache_dir, do_validate, vnu_dir, reading = job
    page_id = os.path.basename(page_path)[:-5]
    result = {"id": page_id}
    data = open(page_path, "rb").read()
    enc = reading_of(options, reading)
    rules = wo.rules_of(options)
    if enc == "utf8":
        try:
            data.decode("utf-8")
        except UnicodeDecodeError:
            result["not_utf8"] = True
    with tempfile.TemporaryDirectory(prefix="varnel-corpus.") as tmp:
        status, out, err = judge.run_program(varnel, options, page_path)
        result["status"] = status
        failure = judge.crash(status, out, err)
        if vnu_dir and declares_html5(data):
            result["html5"] = True
        if failure or judge.refused(status):
            result["refused"] = failure or judge.first_error(err)
            return result
        try:
            items_in = cached_items(cache_dir, data, enc, rules)
            items_out = vt.page_items(out, enc, rules)
            diffs = wo.compare(items_in, items_out, vt.decode(data, enc))
        except Exception as e:  # a page the reader cannot take is reported, not fatal
            diffs = [("checker failed", repr(e))]
        result["text"] = [d for d in diffs if not d[0].startswith(("pre", "textarea"))]
        result["pre"] = [d for d in diffs if d[0].startswith(("pre", "textarea"))]
        change = judge.second_run(varnel, options, out, tmp)
        if change:
            result["unstable_kind"], result["unstable"] = change
        if result.get("html5"):
            with open(os.path.join(vnu_dir, page_id + ".html"), "wb") as f:
                f.write(out)
        if do_validate:
            out_enc = vt.browser_encoding(out) if enc == "browser" else enc
            name, result["doctype"], msgs = judge.validate(out, out_enc, tmp)
            result["judge"] = name or "none"
            result["invalid"] = msgs[0] if msgs else None
    return result


# ---------------------------------------------------------------- reporting

def option_set_name(options):
    name = "_".join(o.lstrip("-") for o in options if o not in ("-q", "-quiet"))
    return name or "default"


def write_report(report_dir, options, results, elapsed, do_validate, reading):
    os.makedirs(os.path.join(report_dir, "failures"), exist_ok=True)
    printed = [r for r in results if "refused" not in r]
    refused = [r for r in results if "refused" in r]
    text = [r for r in printed if r.get("text")]
    pre = [r for r in printed if r.get("pre")]
    unstable = [r for r in printed if r.get("unstable")]
    not_utf8 = [r for r in results if r.get("not_utf8")]
    cats = collections.defaultdict(list)
    for r in printed:
        for c in sorted({d[0] for d in r.get("text", []) + r.get("pre", [])}):
            cats[c].append(r["id"])
    lines = []
    lines.append("option set: %s" % " ".join(options))
    lines.append("bytes read as: %s" % reading_of(options, reading))
    lines.append("pages: %d  (%.0f s)" % (len(results), elapsed))
    lines.append("printed: %d" % len(printed))
    lines.append("refused (status 2, no output): %d" % len(refused))
    lines.append("text changed: %d" % len(text))
    lines.append("pre changed: %d" % len(pre))
    lines.append("unstable (second run differs): %d" % len(unstable))
    if not_utf8:
        lines.append("input not valid UTF-8 (read as the program reads it): %d" % len(not_utf8))
    if do_validate:
        judged = collections.Counter(r.get("judge", "none") for r in printed)
        invalid = [r for r in printed if r.get("invalid")]
        lines.append("invalid output: %d  (judged: %s)" % (
            len(invalid), ", ".join("%s %d" % kv for kv in sorted(judged.items()))))
    lines.append("")
    lines.append("differences by category (pages):")
    for c in sorted(cats, key=lambda c: -len(cats[c])):
        lines.append("  %-36s %4d  e.g. %s" % (c, len(cats[c]), ", ".join(cats[c][:3])))
    if refused:
        lines.append("")
        lines.append("refused pages by first error:")
        by_msg = collections.Counter(re.sub(r"line \d+ column \d+ - ", "", r["refused"]) for r in refused)
        for msg, n in by_msg.most_common():
            lines.append("  %4d  %s" % (n, msg))
    if unstable:
        lines.append("")
        lines.append("unstable pages by kind:")
        kinds = collections.defaultdict(list)
        for r in unstable:
            kinds[r.get("unstable_kind", "second run refused")].append(r)
        for kind, rs in sorted(kinds.items(), key=lambda kv: -len(kv[1])):
            lines.append("  %4d  %s" % (len(rs), kind))
            for r in rs[:3]:
                lines.append("          %s: %s" % (r["id"], r["unstable"]))
    html5 = [r for r in results if r.get("html5")]
    if html5:
        before = [r for r in html5 if r.get("vnu_in")]
        after = [r for r in html5 if r.get("vnu_out")]
        lost = [r["id"] for r in html5 if r.get("vnu_in") and not r.get("vnu_out")]
        gained = [r["id"] for r in html5 if r.get("vnu_out") and not r.get("vnu_in")]
        lines.append("")
        lines.append("declaring HTML5: %d (printed %d); valid (Nu HTML Checker) as given: %d, "
                     "as printed: %d" % (len(html5), len([r for r in html5 if "refused" not in r]),
                                         len(before), len(after)))
        lines.append("  valid as given, invalid as printed: %d  %s" % (len(lost), " ".join(lost[:10])))
        lines.append("  invalid as given, valid as printed: %d  %s" % (len(gained), " ".join(gained[:5])))
    if do_validate:
        lines.append("")
        lines.append("invalid output by first message:")
        by_msg = collections.Counter(
            "%s: %s" % (r["judge"], judge.message_kind(r["invalid"])) for r in printed if r.get("invalid"))
        for msg, n in by_msg.most_common(40):
            lines.append("  %4d  %s" % (n, msg))
    summary = "\n".join(lines) + "\n"
    with open(os.path.join(report_dir, "summary.txt"), "w") as f:
        f.write(summary)
    for r in results:
        if not (r.get("text") or r.get("pre") or r.get("unstable") or r.get("refused") or r.get("invalid")):
            continue
        with open(os.path.join(report_dir, "failures", r["id"] + ".txt"), "w") as f:
            if r.get("refused"):
                f.write("refused: %s\n" % r["refused"])
            for cat, t in r.get("text", []) + r.get("pre", []):
                f.write("%s: %s\n" % (cat, t))
            if r.get("unstable"):
                f.write("unstable: %s\n" % r["unstable"])
            if r.get("invalid"):
                f.write("invalid (%s): %s\n" % (r.get("judge"), r["invalid"]))
    with open(os.path.join(report_dir, "results.json"), "w") as f:
        json.dump(results, f, indent=0)
    return summary


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--options", action="append",
                    help='option set, e.g. "-utf8 -q -clean -i" (repeatable; default "%s")' % DEFAULT_OPTIONS)
    ap.add_argument("--report", default="corpus-report", help="report directory")
    ap.add_argument("--pages-dir", help="where the collected pages go (default REPORT/pages)")
    ap.add_argument("--extracted", default=os.environ.get("VARNEL_CORPUS_EXTRACTED", "/var/tmp/varnel-corpus-debs"),
                    help="directory with unpacked packages that could not be installed")
    ap.add_argument("--max-per-package", type=int, default=120,
                    help="pages taken from each package, spread evenly (0: all)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--validate", action="store_true", help="also judge the output with onsgmls / xmllint")
    ap.add_argument("--vnu", metavar="JAR",
                    help="vnu.jar: judge pages declaring HTML5, as given and as printed")
    ap.add_argument("--reading", choices=("auto", "browser", "program"), default="auto",
                    help="how input and output bytes are decoded: as a browser reads them, as the "
                         "program reads them (-utf8 or Latin-1), or (auto) as a browser for option "
                         "sets without an encoding option")
    args = ap.parse_args()
    varnel = os.path.abspath(args.varnel)
    option_sets = [shlex.split(o) for o in (args.options or [DEFAULT_OPTIONS])]
    pages_dir = args.pages_dir or os.path.join(args.report, "pages")
    cache_dir = os.path.join(args.report, "cache")
    os.makedirs(cache_dir, exist_ok=True)

    manifest, counts = collect(pages_dir, args.max_per_package, args.extracted)
    print("pages collected: %d (%s)" % (len(manifest), ", ".join("%s %d" % kv for kv in sorted(counts.items()))))
    paths = [os.path.join(pages_dir, m[0] + ".html") for m in manifest]
    # Largest pages first, so that the two workers finish together.
    paths.sort(key=lambda p: -os.path.getsize(p))
    for options in option_sets:
        start = time.time()
        report_dir = os.path.join(args.report, option_set_name(options))
        vnu_dir = None
        if args.vnu:
            vnu_dir = os.path.abspath(os.path.join(report_dir, "html5-out"))
            os.makedirs(vnu_dir, exist_ok=True)
            for f in os.listdir(vnu_dir):
                os.remove(os.path.join(vnu_dir, f))
        jobs = [(varnel, options, p, cache_dir, args.validate, vnu_dir, args.reading)
                for p in paths]
        with multiprocessing.Pool(args.jobs) as pool:
            results = list(pool.imap_unordered(check, jobs))
        results.sort(key=lambda r: r["id"])
        if args.vnu:
            html5 = [r for r in results if r.get("html5")]
            inputs = [os.path.abspath(os.path.join(pages_dir, r["id"] + ".html")) for r in html5]
            outputs = [os.path.join(vnu_dir, r["id"] + ".html") for r in html5]
            failing_in = vnu_failing(args.vnu, inputs)
            failing_out = vnu_failing(args.vnu, [o for o in outputs if os.path.exists(o)])
            for r, i, o in zip(html5, inputs, outputs):
                r["vnu_in"] = i not in failing_in
                r["vnu_out"] = os.path.exists(o) and o not in failing_out
        summary = write_report(report_dir, options, results, time.time() - start, args.validate,
                               args.reading)
        print()
        print(summary.split("\ndifferences")[0])
        print("report: %s/summary.txt" % report_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
