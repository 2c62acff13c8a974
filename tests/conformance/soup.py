"""Deterministic tag soup for the conformance run.

Two kinds of page, both the same bytes for the same seed:
- "soup": the pages of tests/property/gen_pages.py (hand-written HTML as it
  is found: open paragraphs, items and cells, font and center, misnested
  emphasis, entities, comments, forms, pre with markup);
- "rough": the same pages with rougher markup mixed in, which the word-order
  property has to leave out but which the printed page must still turn into
  valid markup: text straight inside tables, rows and lists, items and
  definitions outside their lists, blocks inside inline elements and
  headings, links inside links, head elements in the body, a second body,
  elements of no HTML version (nobr, wbr, blink, marquee, layer, spacer,
  embed), attribute values that no DTD allows, duplicate attributes and
  ids, table parts out of order, XML-style empty tags, several doctypes (or
  none) in front. Unknown element names are left out: the program refuses
  such a page, and a refused page says nothing about valid output.

Run as a script: soup.py KIND SEED writes one page to standard output, so
that a failing page of the conformance run can be looked at and shrunk.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "property"))

import gen_pages  # noqa: E402

SIZE = 3000
DOCTYPES = [
    "",
    "",
    '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">\n',
    '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01//EN" "http://www.w3.org/TR/html4/strict.dtd">\n',
    '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2 Final//EN">\n',
    '<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML 2.0//EN">\n',
    '<!DOCTYPE html>\n',
    '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" '
    '"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">\n',
]


class RoughGen(gen_pages.Gen):
    """gen_pages.Gen with rough constructs among its blocks."""

    def rough(self):
        w = self.inline_run
        n = self.r.randrange
        choices = [
            lambda: "<table border=1>%s<tr><td>%s</td>%s</tr></table>\n" % (w(2), w(2), w(1)),
            lambda: "<ul>%s<li>%s</ul>\n" % (w(2), w(3)),
            lambda: "<li>%s\n<li>%s\n" % (w(3), w(2)),
            lambda: "<dt>%s<dd>%s\n" % (w(2), w(3)),
            lambda: '<a href="a%d.html">%s <a href="b.html">%s</a> %s</a>\n' % (n(9), w(2), w(2), w(1)),
            lambda: "<b>%s<div>%s</div>%s</b>\n" % (w(1), w(2), w(1)),
            lambda: '<a href="h.html"><h3>%s</h3></a>\n' % w(2),
            lambda: "<h2><p>%s</p>%s</h2>\n" % (w(2), w(1)),
            lambda: "<pre>%s<p>%s</pre>\n" % (w(2), w(2)),
            lambda: "<pre>%s<table><tr><td>%s</table></pre>\n" % (w(1), w(1)),
            lambda: "<table><form action=x><tr><td><input name=a>%s</td></tr></form></table>\n" % w(1),
            lambda: "<p>%s<nobr>%s</nobr> %s<wbr>%s</p>\n" % (w(1), w(2), self.word(), self.word()),
            lambda: "<blink>%s</blink><marquee>%s</marquee>\n" % (w(2), w(2)),
            lambda: "<layer>%s</layer><spacer type=block width=10>\n" % w(2),
            lambda: '<embed src="m%d.swf" width=10><noembed>%s</noembed>\n' % (n(9), w(1)),
            lambda: "<p align=middle width=50%%>%s</p>\n" % w(3),
            lambda: '<p class=a class=b id="x%d">%s</p><p id="x%d">%s</p>\n' % (n(3), w(2), n(3), w(2)),
            lambda: '<img src="a.gif" border=0 align=absmiddle>%s\n' % w(2),
            lambda: "<title>%s</title><meta name=keywords content=x>"
                    "<style>p { color: red }</style>%s\n" % (w(1), w(2)),
            lambda: '<link rel=stylesheet href="s.css"><base href="http://example.org/">%s\n' % w(2),
            lambda: "<body bgcolor=red text=blue>%s\n" % w(2),
            lambda: "<table><tr><td>%s</td></tr><caption>%s</caption><thead><tr><th>%s</thead>"
                    "<col width=10></table>\n" % (w(1), w(1), w(1)),
            lambda: "<table><table><tr><td>%s</td></tr></table></table>\n" % w(2),
            lambda: "<blockquote>%s<p>%s</blockquote>\n" % (w(3), w(2)),
            lambda: "<p>%s<br/>%s<hr/>%s<img src=x.gif alt=x />\n" % (w(1), w(1), w(1)),
            lambda: "<p>%s<center>%s</center>%s</p>\n" % (w(1), w(2), w(1)),
            lambda: "<dir><li>%s</dir><menu><li>%s</menu>\n" % (w(2), w(2)),
            lambda: "<address><p>%s</p>%s</address>\n" % (w(2), w(1)),
            lambda: "<fieldset>%s<legend>%s</legend><label>%s<input type=checkbox checked></label>"
                    "</fieldset>\n" % (w(1), w(1), w(1)),
            lambda: "<select name=s><optgroup label=g><option>%s</optgroup>%s</select>\n"
                    % (self.word(), self.word()),
            lambda: "<button type=submit>%s<b>%s</b></button>\n" % (w(1), w(1)),
            lambda: '<map name=m><area shape=rect coords="0,0,1,1" href="a.html">%s</map>\n' % w(1),
            lambda: '<object data="o.bin"><param name=p value=1>%s</object>\n' % w(1),
            lambda: '<iframe src="f.html">%s</iframe>\n' % w(1),
            lambda: "<ins>%s</ins> <del>%s</del>\n" % (w(2), w(2)),
            lambda: "<s>%s</s><strike>%s</strike><u>%s</u>\n" % (w(1), w(1), w(1)),
            lambda: '<font face="Arial" size=7 color="#zzzzzz">%s<p>%s</font>\n' % (w(2), w(2)),
            lambda: '<a href="q?a=1&b=2" name="n %d" target=_new>%s</a>\n' % (n(9), w(1)),
            lambda: "<!-- a -- b --><!>%s<![CDATA[ x < y ]]>%s\n" % (w(1), w(1)),
            lambda: '<p lang=en dir=rtl xml:lang="en">%s</p>\n' % w(2),
            lambda: "<script>document.write('<p>x</p>');</script><noscript>%s</noscript>\n" % w(1),
            lambda: "<applet code=a.class width=1 height=1>%s</applet>\n" % w(1),
            lambda: "<p><p><b></b><i> </i></p>\n",
            lambda: "<h1>%s\n" % w(2),
            lambda: "<td>%s</td><tr><th>%s\n" % (w(1), w(1)),
        ]
        return self.pick(choices)()

    def block(self):
        if self.chance(0.3):
            return self.rough()
        return super().block()

    def page(self, size):
        body = super().page(size)
        # The base page may open with the 4.01 Transitional doctype; put
        # another one (or none) in front instead.
        text = body.decode("ascii")
        if text.startswith("<!DOCTYPE"):
            text = text[text.index("\n") + 1:]
        return (self.pick(DOCTYPES) + text).encode("ascii")


KINDS = ("soup", "rough")


def page(kind, seed, size=SIZE):
    """The bytes of one generated page."""
    if kind == "soup":
        return gen_pages.page(seed, size)
    if kind == "rough":
        return RoughGen(seed).page(size)
    raise ValueError("unknown kind %r" % kind)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or sys.argv[1] not in KINDS:
        sys.stderr.write("usage: soup.py soup|rough SEED [SIZE]\n")
        sys.exit(2)
    size = int(sys.argv[3]) if len(sys.argv) == 4 else SIZE
    sys.stdout.buffer.write(page(sys.argv[1], int(sys.argv[2]), size))
