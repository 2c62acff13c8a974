"""Deterministic tag-soup pages for the word-order property.

`page(seed, size)` returns the bytes of one page of about `size` bytes; the
same seed and size always give the same bytes. The pages hold what real
hand-written HTML holds: paragraphs and list items and cells left open,
font and center, b/i/a elements that cross block boundaries, entities
(named, numeric, unknown, bare ampersands), comments between words, forms
with fields, pre with inline markup, br, tabs and blank lines, long lines
that need wrapping, words joined to tags without spaces (DIR_<var>LIB</var>)
and line feeds between inline tags.

The pages stay within what both a browser and the program keep in order, so
that any change of the words is a fault of the program:
- no text directly inside select, table, tr (the program drops or moves it
  by rules of its own), no block elements inside pre, no cells, rows,
  frames or head elements in the body out of their place;
- no a element without attributes (the program drops the anchor, which
  keeps the words, but a browser and the program then disagree on which
  inline elements are open);
- no ins or del (the program treats them as blocks), no wbr, no nobr;
- comments are well-formed ("<!-- words -->");
- a textarea holds only text (the program ends it at the first tag, where
  a browser shows the tag as text).
Run as a script: gen_pages.py SEED SIZE writes one page to standard output.
"""

import random
import sys

WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod "
         "tempor incididunt ut labore et dolore magna aliqua varnel markup page "
         "table repair column line document garden river pavilion seed").split()
LONG_WORDS = ("DIR_LIBRARY configuration_directory http://example.org/a/long/path "
              "supercalifragilistic antidisestablishmentarianism x=y+z;").split()
ENTITIES = ("&amp;", "&lt;", "&gt;", "&quot;", "&nbsp;", "&copy;", "&#169;", "&eacute;",
            "&#x263A;", "&mdash;", "&ldquo;", "&rdquo;", "&#8217;", "&foo;", " & ", "&hellip;")
INLINE = ("b", "i", "em", "strong", "code", "var", "tt", "span", "u", "small", "big",
          "kbd", "samp", "cite", "sub", "sup")


class Gen:
    def __init__(self, seed):
        self.r = random.Random(seed)
        self.out = []

    def pick(self, seq):
        return self.r.choice(seq)

    def chance(self, p):
        return self.r.random() < p

    def word(self):
        x = self.r.random()
        if x < 0.05:
            return self.pick(LONG_WORDS)
        if x < 0.08:
            return self.pick(WORDS).capitalize() + "."
        if x < 0.10:
            return self.pick(WORDS) + ","
        return self.pick(WORDS)

    def sep(self):
        """White space between words: mostly a space, sometimes a line feed
        or several blanks."""
        x = self.r.random()
        if x < 0.05:
            return ""  # the pieces touch: their words run together
        if x < 0.12:
            return "\n"
        if x < 0.16:
            return "  "
        if x < 0.18:
            return " \n "
        return " "

    def inline_piece(self, depth=0):
        """One word-like piece of inline content."""
        x = self.r.random()
        w = self.word()
        if x < 0.50:
            return w
        if x < 0.56:
            return self.pick(ENTITIES)
        if x < 0.64:
            t = self.pick(INLINE)
            inner = self.inline_run(1 + self.r.randrange(3), depth + 1) if depth < 2 else w
            return "<%s>%s</%s>" % (t, inner, t)
        if x < 0.68:
            # A word joined to an element without any space.
            t = self.pick(INLINE)
            return "%s<%s>%s</%s>%s" % (w.rstrip(".,"), t, self.pick(WORDS).upper(), t,
                                         self.pick(["", "", self.pick(WORDS)]))
        if x < 0.72:
            # A link, with a line feed between the tag and its text now and then.
            gap = self.pick(["", "", "\n", " "])
            lead = self.pick(["", " ", "\n"])
            return "%s<a href=\"p%d.html\">%s%s</a>" % (
                lead, self.r.randrange(100), gap, self.inline_run(1 + self.r.randrange(3), depth + 1))
        if x < 0.75:
            return "%s<img src=\"i%d.gif\" alt=\"\">%s" % (
                self.pick(["", w]), self.r.randrange(9), self.pick(["", self.pick(WORDS)]))
        if x < 0.78:
            # A comment between or inside words.
            return "%s<!-- note %d -->%s" % (w, self.r.randrange(99), self.pick(["", self.pick(WORDS)]))
        if x < 0.81:
            return "<font color=red size=+1>%s</font>" % self.inline_run(1 + self.r.randrange(3), depth + 1)
        if x < 0.83:
            # Misnested emphasis.
            return "<b><i>%s</b></i>" % w
        if x < 0.87:
            # White space (often a line feed) next to an inline tag.
            t = self.pick(["b", "i", "a href=\"q.html\"", "span", "em", "font size=2"])
            n = t.split()[0]
            sp = self.pick(["\n", "\n", " ", " \n"])
            w2 = self.pick(WORDS)
            return self.pick([
                "%s<%s>%s%s</%s>" % (w, t, sp, w2, n),
                "%s%s<%s>%s</%s>" % (w, sp, t, w2, n),
                "<%s>%s</%s>%s%s" % (t, w, n, sp, w2),
                "<%s>%s%s</%s>%s" % (t, w, sp, n, w2),
                "<%s>%s</%s>%s<i>%s</i>" % (t, w, n, sp, w2),
                "%s<%s><i>%s%s</i></%s>" % (w, t, sp, w2, n),  # nested, space first
            ])
        if x < 0.885:
            return "%s<br>" % w
        if x < 0.89:
            return "%s&nbsp;%s" % (w, self.pick(WORDS))
        if x < 0.92:
            return "<a name=\"n%d\">%s</a>" % (self.r.randrange(99), w)
        if x < 0.94:
            # A literal "<" that starts no tag, as in code samples.
            return self.pick(["%s << 2", "%s <= 1", "%s < 3", "%s<=x", "(%s <<= 4)"]) % w
        return w

    def plain_text(self, n):
        """Words and entities without markup (a text area takes only text)."""
        return "".join((self.sep() if i else "") + (self.pick(ENTITIES) if self.chance(0.1) else self.word())
                       for i in range(n))

    def inline_run(self, n, depth=0):
        parts = []
        for i in range(n):
            if i:
                parts.append(self.sep())
            parts.append(self.inline_piece(depth))
        return "".join(parts)

    def long_line(self):
        """A paragraph on one long line, for wrapping."""
        return " ".join(self.inline_piece(2) for _ in range(15 + self.r.randrange(20)))

    def para(self):
        tag = self.pick(["<p>", "<p>", "<p align=center>", "<P>"])
        body = self.long_line() if self.chance(0.3) else self.inline_run(5 + self.r.randrange(25))
        end = self.pick(["</p>", "", "\n"])
        return tag + body + end + "\n"

    def crossing(self):
        """An inline element left open across a block boundary."""
        t = self.pick(["b", "i", "em", "font color=blue", "a href=\"x.html\"", "span class=k", "tt"])
        name = t.split()[0]
        block = self.pick(["<hr>", "<p>", "<div>", "<h2>", "<blockquote>", "<center>", "<p align=right>"])
        gap = self.pick(["", "\n", " "])
        closer = "</%s>" % name if self.chance(0.7) else ""
        bclose = {"<div>": "</div>", "<h2>": "</h2>", "<blockquote>": "</blockquote>",
                  "<center>": "</center>"}.get(block, "")
        return "<%s>%s%s%s%s%s%s%s\n" % (t, self.inline_run(1 + self.r.randrange(4)), gap, block,
                                         self.inline_run(1 + self.r.randrange(4)), closer, bclose,
                                         self.pick(["", " " + self.word()]))

    def heading(self):
        n = 1 + self.r.randrange(4)
        return "<h%d>%s</h%d>\n" % (n, self.inline_run(1 + self.r.randrange(5)), n)

    def lst(self):
        t = self.pick(["ul", "ol"])
        items = []
        for _ in range(1 + self.r.randrange(5)):
            item = "<li>" + self.inline_run(1 + self.r.randrange(8))
            if self.chance(0.3):
                item += "</li>"
            items.append(item + self.pick(["\n", "", " "]))
        return "<%s>\n%s</%s>\n" % (t, "".join(items), t)

    def deflist(self):
        parts = ["<dl>\n"]
        for _ in range(1 + self.r.randrange(3)):
            parts.append("<dt>" + self.inline_run(1 + self.r.randrange(3)) + "\n")
            parts.append("<dd>" + self.inline_run(1 + self.r.randrange(8)) + "\n")
        parts.append("</dl>\n")
        return "".join(parts)

    def table(self):
        parts = ["<table border=1>\n"]
        for _ in range(1 + self.r.randrange(4)):
            parts.append("<tr>")
            for _ in range(1 + self.r.randrange(4)):
                parts.append(self.pick(["<td>", "<td>", "<th>", "<td nowrap>", "<td align=right>"]))
                if self.chance(0.2):
                    parts.append("<p>" + self.inline_run(1 + self.r.randrange(4)) + "<p>")
                parts.append(self.inline_run(1 + self.r.randrange(6)))
                if self.chance(0.4):
                    parts.append("</td>")
                parts.append(self.pick(["", "\n"]))
            if self.chance(0.5):
                parts.append("</tr>")
            parts.append("\n")
        parts.append("</table>\n")
        return "".join(parts)

    def form(self):
        opts = "".join("<option%s>%s" % (self.pick(["", " selected"]), self.word())
                       for _ in range(1 + self.r.randrange(4)))
        return ("<form action=\"/go\" method=post>\n%s <input type=text name=q value=\"%s\">"
                "%s<select name=s>%s</select> %s<textarea name=t rows=2 cols=20>%s</textarea>\n"
                "<input type=submit value=Go>%s</form>\n") % (
            self.inline_run(2), self.word(), self.pick(["", " ", "\n"]), opts, self.word(),
            self.pick(["", "\n"]) + self.plain_text(3), self.pick(["", " " + self.word()]))

    def pre(self):
        lines = []
        if self.chance(0.2):
            lines.append("")  # a blank first line
        for _ in range(1 + self.r.randrange(5)):
            x = self.r.random()
            if x < 0.3:
                line = "  ".join(self.pick(WORDS) for _ in range(1 + self.r.randrange(4)))
            elif x < 0.45:
                t = self.pick(["b", "i", "var", "em", "a href=\"c.html\""])
                line = "%s <%s>%s</%s> %s" % (self.word(), t, self.word(), t.split()[0], self.word())
            elif x < 0.50:
                line = "%s\t%s\t%s" % (self.word(), self.word(), self.word())
            elif x < 0.55:
                line = "<b>%s</b>\t%s" % (self.word(), self.word())  # a tab after markup
            elif x < 0.58:
                line = "<b>\n%s</b>" % self.word()  # line feed right after an inline start tag
            elif x < 0.62:
                line = "%s <i> %s</i>" % (self.word(), self.word())  # space right after a start tag
            elif x < 0.72:
                line = "%s<br>%s" % (self.word(), self.word())
            elif x < 0.80:
                line = "%s &lt;tag&gt; &amp; %s" % (self.word(), self.word())
            elif x < 0.86:
                line = "    indented %s" % self.word()
            elif x < 0.90:
                line = ""
            else:
                line = "%s<!-- c -->%s" % (self.word(), self.word())
            lines.append(line)
        lead = self.pick(["", "", "\n"])
        return "<pre>%s%s</pre>\n" % (lead, "\n".join(lines))

    def center(self):
        return "<center>%s</center>\n" % self.inline_run(2 + self.r.randrange(6))

    def div(self):
        inner = "".join(self.pick([self.para, self.heading, self.center])() for _ in range(1 + self.r.randrange(2)))
        return "<div class=box>%s</div>\n" % inner

    def block(self):
        x = self.r.random()
        if x < 0.28:
            return self.para()
        if x < 0.36:
            return self.crossing()
        if x < 0.42:
            return self.heading()
        if x < 0.50:
            return self.lst()
        if x < 0.54:
            return self.deflist()
        if x < 0.62:
            return self.table()
        if x < 0.66:
            return self.form()
        if x < 0.76:
            return self.pre()
        if x < 0.80:
            return self.center()
        if x < 0.85:
            return self.div()
        if x < 0.88:
            return "<!-- section %d -->\n" % self.r.randrange(999)
        if x < 0.91:
            return "<hr>\n"
        if x < 0.95:
            return "<blockquote>%s</blockquote>\n" % self.inline_run(3 + self.r.randrange(10))
        return self.inline_run(3 + self.r.randrange(10)) + "\n"

    def page(self, size):
        head = "<html>\n<head>\n<title>%s</title>\n</head>\n<body bgcolor=white>\n" % " ".join(
            self.pick(WORDS) for _ in range(1 + self.r.randrange(4)))
        if self.chance(0.2):
            head = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n" + head
        parts = [head]
        total = len(head)
        while total < size:
            b = self.block()
            parts.append(b)
            total += len(b)
        parts.append(self.pick(["</body>\n</html>\n", "</body></html>\n", ""]))
        return "".join(parts).encode("ascii")


def page(seed, size):
    return Gen(seed).page(size)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.stderr.write("usage: gen_pages.py SEED SIZE\n")
        sys.exit(2)
    sys.stdout.buffer.write(page(int(sys.argv[1]), int(sys.argv[2])))
