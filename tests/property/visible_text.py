"""What a reader sees of an HTML page, as a browser would show it.

The page is parsed with html5lib (the HTML5 parsing rules that browsers
follow) and its rendered text is read off the tree:

- the words of the body text, in document order. White space (space, tab,
  line feed, carriage return, form feed and no-break space) separates words
  and is collapsed; inline elements (b, i, a, font, span ...) do not
  separate words, block elements (p, div, li, td, h1 ...) and br do, so
  "DIR_<var>LIB</var>" is the one word "DIR_LIB" and "a<p>b" the two words
  "a" and "b";
- embedded objects that sit inside a line (img, input, select, button,
  textarea) stand as a marker character glued to the neighbouring text,
  so that a space appearing or vanishing next to them is seen. The options
  of a select, the label of a button and the value of a text area are
  read as words of their own;
- the exact content of every preformatted element (pre, listing, plaintext,
  and the value of a textarea): the text the browser shows, with br as a
  line break, after the HTML rule that drops a line feed right after the
  start tag. Spaces at the end of a line and one line feed at the very end
  are not visible and are not compared. Such a block stands as one item in
  the word sequence, so its place is checked too; a block that shows no
  text at all is left out;
- the text of the title, as one item before the body's words.

Script, style, comments, the head and attribute values are not text.

`page_items(data, encoding, options)` returns the list of items: plain
words are strings, a preformatted block or title is a tuple (kind, text).
`options` may model rules by which the program legitimately changes what is
shown (see `Rules`).
"""

import re

import html5lib

# Elements that the default style sheet of a browser shows as blocks (or as
# table parts, list items): their start and end separate words.
BLOCK = frozenset("""
address article aside blockquote body center dd details dialog dir div dl
dt fieldset figcaption figure footer form frameset h1 h2 h3 h4 h5 h6 header
hgroup hr html legend li listing main menu nav ol p plaintext pre section
summary table caption colgroup thead tbody tfoot tr td th ul xmp multicol
noframes frame optgroup option isindex layer nolayer align
""".split())

# Elements whose content is never shown.
HIDDEN = frozenset("""
head script style template noembed noscript iframe param area map title
datalist embed object applet audio video canvas svg math frame
""".split())

# Preformatted blocks: white space is kept and shown.
PREFORMATTED = frozenset("pre listing plaintext xmp".split())

# Inline objects: each shows as a marker glued to the text around it.
GLYPH = "\u25a1"  # img, input and the like
OPEN_BOX = "\u27e6"  # start of a select, button or textarea
CLOSE_BOX = "\u27e7"  # its end

SPACES = " \t\n\r\f\u00a0"
WORD_SPLIT = re.compile("[" + SPACES + "]+")

# Typographic punctuation that -clean writes as ASCII.
CLEAN_FOLD = str.maketrans({
    "\u2013": "-", "\u2014": "-",
    "\u2018": "'", "\u2019": "'", "\u201a": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"',
})


class Rules:
    """Rules of the program that legitimately change what a reader sees.

    clean: the -clean option is on: typographic quotes and dashes are
        written as their ASCII forms, and wbr is written as a space.
    tab_size: tabs in preformatted text are shown up to the next multiple
        of this many columns, counted from the start of the shown line
        (browsers use 8; the program keeps tabs as they are); None compares
        tabs as characters.
    """

    def __init__(self, clean=False, tab_size=8):
        self.clean = clean
        self.tab_size = tab_size


def _windows_char(byte):
    """A byte of 128-159 read as its Windows-1252 character ('' for the
    five unassigned positions, which are dropped); other bytes as Latin-1."""
    if 0x80 <= byte <= 0x9F:
        try:
            return bytes([byte]).decode("cp1252")
        except UnicodeDecodeError:
            return ""
    return chr(byte)




def browser_encoding(data):
    """The encoding a browser reads page bytes in: a byte order mark; else
    the charset that a meta element declares in the first 1024 bytes
    (html5lib's scan, which follows the one browsers use); else UTF-8 when
    the bytes are UTF-8; else Windows-1252. Returns "utf8", "latin1" (read
    as the program reads Latin-1, the Windows characters included) or a
    Python codec name."""
    if data.startswith(b"\xef\xbb\xbf"):
        return "utf8"
    if data[:2] in (b"\xff\xfe", b"\xfe\xff"):
        return "utf-16"
    from html5lib._inputstream import EncodingParser
    declared = EncodingParser(data[:1024]).getEncoding()
    if declared is not None:
        name = declared.name
        if name in ("utf-8", "utf-16le", "utf-16be"):
            return "utf8"
        if name in ("windows-1252", "x-user-defined"):
            return "latin1"
        return declared.codec_info.name
    try:
        data.decode("utf-8")
        return "utf8"
    except UnicodeDecodeError:
        return "latin1"


def decode(data, encoding):
    """Decode page bytes the way the program reads them, or, with the
    encoding "browser", the way a browser reads them (browser_encoding)."""
    if encoding == "browser":
        encoding = browser_encoding(data)
        if encoding == "utf8" and data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
    if encoding not in ("utf8", "latin1"):
        return data.decode(encoding, errors="replace")
    if encoding == "utf8":
        # Each longest start of a sequence that cannot be completed becomes
        # one U+FFFD, as the program reads it; 128-159 are the Windows
        # characters there too.
        return data.decode("utf-8", errors="replace").translate(_WINDOWS_TABLE)
    # Latin-1, with 128-159 read as Windows-1252 characters.
    return data.decode("latin-1").translate(_WINDOWS_TABLE)


_WINDOWS_TABLE = {b: _windows_char(b) for b in range(0x80, 0xA0)}


_OPEN_TITLE = re.compile(rb"<title(\s[^>]*)?>", re.I)
_CLOSE_TITLE = re.compile(rb"</title\s*>", re.I)


def close_open_title(data):
    """A title without its end tag ends at the next tag.

    A browser reads everything after such a start tag as title text, so
    the whole page vanishes into the title; the program ends the title at
    the next tag instead. The input is read with the end tag supplied,
    which is what the program's repair means.
    """
    m = _OPEN_TITLE.search(data)
    if not m or _CLOSE_TITLE.search(data, m.end()):
        return data
    lt = data.find(b"<", m.end())
    if lt < 0:
        return data + b"</title>"
    return data[:lt] + b"</title>" + data[lt:]


_html5lib_tokens = html5lib._tokenizer.HTMLTokenizer.__iter__


def _tokens(tokenizer):
    """The tokens of html5lib's tokenizer, with the rule that a line feed
    right after the start tag of pre, listing or textarea is dropped done
    here: the first character token after that start tag loses a leading
    line feed.

    html5lib 1.1 does this in its tree builder, and only when the text goes
    straight into the element in ordinary body content: not inside a table
    cell or caption, and not when an inline element is re-opened in front of
    the text (`<b><p>x<pre>` + line feed), unlike browsers, which drop it
    whatever becomes of the token.
    """
    types = html5lib.constants.tokenTypes
    text = (types["Characters"], types["SpaceCharacters"])
    dropping = False
    for token in _html5lib_tokens(tokenizer):
        kind = token["type"]
        if kind == types["ParseError"]:
            yield token
            continue
        if dropping and kind in text and token["data"].startswith("\n"):
            token["data"] = token["data"][1:]
            dropping = False
            if not token["data"]:
                continue
        dropping = kind == types["StartTag"] and token["name"] in ("pre", "listing", "textarea")
        yield token


html5lib._tokenizer.HTMLTokenizer.__iter__ = _tokens
_parser = html5lib.HTMLParser(tree=html5lib.getTreeBuilder("etree"), namespaceHTMLElements=False)


def _keep_newline(phase, token):
    phase.processSpaceCharacters = phase.processSpaceCharactersNonPre
    phase.processSpaceCharactersNonPre(token)


# html5lib's own (partial) dropping is switched off; _tokens does it.
type(_parser.phases["inBody"]).processSpaceCharactersDropNewline = _keep_newline


def parse(data, encoding):
    return _parser.parse(decode(close_open_title(data), encoding))


def _tag(el):
    t = el.tag
    return t.lower() if isinstance(t, str) else None


def _expand_tabs(text, size):
    if size is None or "\t" not in text:
        return text
    lines = []
    for line in text.split("\n"):
        out = []
        col = 0
        for ch in line:
            if ch == "\t":
                n = size - col % size if size > 0 else 0
                out.append(" " * n)
                col += n
            else:
                out.append(ch)
                col += 1
        lines.append("".join(out))
    return "\n".join(lines)


def _normalize_pre(text, rules):
    """The visible form of preformatted text."""
    text = text.replace("\r\n", "\n").replace("\r", "\n").replace("\u00a0", " ")
    if rules.clean:
        text = text.translate(CLEAN_FOLD)
    text = _expand_tabs(text, rules.tab_size)
    # A line feed that ends the block starts no new line.
    if text.endswith("\n"):
        text = text[:-1]
    return "\n".join(line.rstrip(" ") for line in text.split("\n"))


def _pre_text(el, rules):
    """The text a browser shows for a preformatted element."""
    parts = []
    stack = [("node", el)]
    while stack:
        what, node = stack.pop()
        if what == "tail":
            if node.tail:
                parts.append(node.tail)
            continue
        tag = _tag(node)
        if node is not el:
            if tag is None or tag in HIDDEN:
                continue
            if tag == "br":
                parts.append("\n")
                continue
            if tag == "wbr" and rules.clean:
                parts.append(" ")
            if tag in ("img", "input"):
                parts.append(GLYPH)
            if tag in ("select", "button", "textarea"):
                # A form control shows as a box; white space between its
                # options is not text of the block.
                parts.append(OPEN_BOX + CLOSE_BOX)
                continue
            if tag in BLOCK and parts and not parts[-1].endswith("\n"):
                parts.append("\n")
        if node.text:
            parts.append(node.text)
        for child in reversed(list(node)):
            stack.append(("tail", child))
            stack.append(("node", child))
    return _normalize_pre("".join(parts), rules)


class _Collector:
    def __init__(self, rules):
        self.rules = rules
        self.items = []  # words and (kind, text) tuples
        self.current = []  # characters of the line being gathered

    def text(self, s):
        if self.rules.clean:
            s = s.translate(CLEAN_FOLD)
        self.current.append(s)

    def glyph(self, g):
        self.current.append(g)

    def boundary(self):
        if self.current:
            for w in WORD_SPLIT.split("".join(self.current)):
                if w:
                    self.items.append(w)
            self.current = []

    def block_item(self, kind, text):
        self.boundary()
        self.items.append((kind, text))


def _walk(root, c):
    rules = c.rules
    stack = [(root, False)]
    while stack:
        node, closing = stack.pop()
        tag = _tag(node)
        if closing:
            if tag in BLOCK:
                c.boundary()
            elif tag in ("select", "button", "textarea"):
                c.boundary()
                c.glyph(CLOSE_BOX)
            if node.tail:
                c.text(node.tail)
            continue
        if tag is None:  # comment, doctype, processing instruction
            stack.append((node, True))
            continue
        if tag in HIDDEN:
            if node.tail:
                c.text(node.tail)
            continue
        if tag == "input" and (node.get("type") or "").lower() == "hidden":
            if node.tail:
                c.text(node.tail)
            continue
        if tag == "br":
            c.boundary()
            if node.tail:
                c.text(node.tail)
            continue
        if tag == "wbr":
            if rules.clean:
                c.boundary()
            if node.tail:
                c.text(node.tail)
            continue
        if tag in ("img", "input", "image"):
            c.glyph(GLYPH)
            if node.tail:
                c.text(node.tail)
            continue
        if tag in PREFORMATTED:
            # A block that shows no text is not an item: it shows nothing
            # but its margins, and the program removes empty elements.
            text = _pre_text(node, rules)
            if text:
                c.block_item("pre", text)
            if node.tail:
                c.text(node.tail)
            continue
        if tag == "textarea":
            c.glyph(OPEN_BOX)
            c.block_item("textarea", _normalize_pre(node.text or "", rules))
            c.glyph(CLOSE_BOX)
            if node.tail:
                c.text(node.tail)
            continue
        if tag in BLOCK:
            c.boundary()
        elif tag in ("select", "button"):
            c.glyph(OPEN_BOX)
            c.boundary()
        stack.append((node, True))
        if tag == "select":
            # Only the options' labels are shown, never loose text.
            for child in reversed(list(node)):
                if _tag(child) in ("option", "optgroup"):
                    stack.append((child, False))
            continue
        if node.text:
            c.text(node.text)
        for child in reversed(list(node)):
            stack.append((child, False))


def page_items(data, encoding="latin1", rules=None):
    """The title and the visible words of a page (bytes) in order."""
    rules = rules or Rules()
    doc = parse(data, encoding)
    c = _Collector(rules)
    head = doc.find("head")
    title = head.find("title") if head is not None else None
    title_text = ""
    if title is not None and title.text:
        title_text = " ".join(w for w in WORD_SPLIT.split(title.text) if w)
        if rules.clean:
            title_text = title_text.translate(CLEAN_FOLD)
    c.items.append(("title", title_text))
    body = doc.find("body")
    if body is None:
        body = doc.find("frameset")
    if body is not None:
        _walk(body, c)
    c.boundary()
    return c.items


def pre_blocks(items):
    return [it for it in items if isinstance(it, tuple) and it[0] in ("pre", "textarea")]


def words(items):
    return [it for it in items if isinstance(it, str)]


def show(item):
    """Printable form of an item for diffs."""
    if isinstance(item, tuple):
        return "[%s %r]" % item
    return item
