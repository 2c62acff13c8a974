#!/usr/bin/env python3
"""Writes src/input/html_dtds.cpp: the element and attribute declarations of
the HTML 2.0, 3.2 and 4.01 (Strict, Transitional, Frameset) DTDs, in the
form tools/dtd_compile.cpp compiles for the version walk
(src/input/versions.cpp).

usage: tools/html_dtds.py [dtd-directory] > src/input/html_dtds.cpp

The DTDs come from the Debian package w3c-sgml-lib (default directory
/usr/share/xml/w3c-sgml-lib/schema/dtd). Each is read as an SGML parser
reads it: comments dropped, parameter entities expanded (the first
declaration of a name wins), marked sections kept or dropped by their
keyword, and the HTML 4.01 Frameset DTD reading the Transitional one. The
feature switches keep the values the DTDs give them, as a validator does.

What is written, per element and version:
  - the content: EMPTY, CDATA, RCDATA, or a model group in DTD syntax with
    lower-case names, every parameter entity expanded;
  - the inclusions and exclusions, as space-separated names;
  - the attributes: name, declared value (CDATA, NUMBER, NAME, ... or an
    enumeration "(a|b|c)"), and whether the attribute is required;
and the general entities each version defines. Rows that are the same in
several versions are written once with the mask of those versions.
"""
import os
import re
import sys

DTD_DIR = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/xml/w3c-sgml-lib/schema/dtd"

# Version bits as the program numbers them.
VERSIONS = [
    (0x01, "IETF/html.dtd"),
    (0x02, "REC-html32-19970114/HTML32.dtd"),
    (0x04, "REC-html401-19991224/strict.dtd"),
    (0x08, "REC-html401-19991224/loose.dtd"),
    (0x10, "REC-html401-19991224/frameset.dtd"),
]

# External parameter entities the DTDs read, by public identifier. Entity
# sets are read for their general entity names only.
PUBLIC_FILES = {
    "-//W3C//DTD HTML 4.01 Transitional//EN": "REC-html401-19991224/loose.dtd",
    "ISO 8879-1986//ENTITIES Added Latin 1//EN//HTML": "IETF/ISOlat1.ent",
    "-//W3C//ENTITIES Latin1//EN//HTML": "REC-html401-19991224/HTMLlat1.ent",
    "-//W3C//ENTITIES Latin 1//EN//HTML": "REC-html401-19991224/HTMLlat1.ent",
    "-//W3C//ENTITIES Symbols//EN//HTML": "REC-html401-19991224/HTMLsymbol.ent",
    "-//W3C//ENTITIES Special//EN//HTML": "REC-html401-19991224/HTMLspecial.ent",
}


def read(path):
    with open(os.path.join(DTD_DIR, path), encoding="latin-1") as f:
        return f.read()


class Dtd:
    def __init__(self):
        self.params = {}  # name -> ("text", value) or ("public", id)
        self.general = set()
        self.elements = {}  # name -> (content, inclusions, exclusions)
        self.attlists = {}  # element -> {attr: (type, required)}

    # -- text helpers ------------------------------------------------------

    def expand(self, text):
        """Expands parameter entity references in a declaration's text."""
        for _ in range(50):
            new = re.sub(r"%([A-Za-z][A-Za-z0-9.\-]*);?", self._ref, text)
            if new == text:
                return new
            text = new
        raise SystemExit("parameter entities nest too deep")

    def _ref(self, m):
        kind, value = self.params.get(m.group(1), ("text", None))
        if kind != "text" or value is None:
            raise SystemExit("unknown parameter entity %s" % m.group(1))
        return value

    # -- reading -----------------------------------------------------------

    def parse(self, text):
        i = 0
        n = len(text)
        while i < n:
            if text.startswith("<!--", i) or text.startswith("<!>", i):
                i = skip_comment_declaration(text, i)
            elif text.startswith("<![", i):
                i = self.marked_section(text, i)
            elif text.startswith("]]>", i):
                i += 3  # end of an included marked section
            elif text.startswith("<!", i):
                end = declaration_end(text, i)
                self.declaration(strip_comments(text[i + 2:end]))
                i = end + 1
            elif text[i] == "%":
                m = re.match(r"%([A-Za-z][A-Za-z0-9.\-]*);?", text[i:])
                self.reference(m.group(1))
                i += m.end()
            else:
                i += 1

    def reference(self, name):
        kind, value = self.params[name]
        if kind == "public":
            path = PUBLIC_FILES.get(value)
            if path is None:
                raise SystemExit("no file for %s" % value)
            self.parse(read(path))
        else:
            self.parse(value)

    def marked_section(self, text, i):
        start = text.index("[", i + 3)
        keyword = self.expand(text[i + 3:start]).strip().upper()
        body_start = start + 1
        # Find the matching end, counting nested sections.
        depth = 1
        j = body_start
        while depth > 0:
            a = text.find("<![", j)
            b = text.find("]]>", j)
            if a != -1 and a < b:
                depth += 1
                j = a + 3
            else:
                depth -= 1
                j = b + 3
        if keyword == "IGNORE":
            return j
        if keyword not in ("INCLUDE", ""):
            raise SystemExit("marked section keyword %r" % keyword)
        self.parse(text[body_start:j - 3])
        return j

    def declaration(self, decl):
        m = re.match(r"\s*([A-Za-z]+)\s+", decl)
        keyword = m.group(1).upper()
        rest = decl[m.end():]
        if keyword == "ENTITY":
            self.entity(rest)
        elif keyword == "ELEMENT":
            self.element(strip_comments(self.expand(rest)))
        elif keyword == "ATTLIST":
            # Entity values may hold comments of their own.
            self.attlist(strip_comments(self.expand(rest)))
        else:
            raise SystemExit("declaration %s" % keyword)

    def entity(self, rest):
        m = re.match(r"%\s+([A-Za-z][A-Za-z0-9.\-]*)\s+", rest)
        if m:
            name = m.group(1)
            body = rest[m.end():].strip()
            if name in self.params:
                return  # the first declaration wins
            if body.upper().startswith("PUBLIC"):
                self.params[name] = ("public", quoted(body[6:].strip())[0])
            else:
                self.params[name] = ("text", quoted(body)[0])
            return
        m = re.match(r"([A-Za-z][A-Za-z0-9.\-]*)\s+", rest)
        self.general.add(m.group(1))

    def element(self, rest):
        names, rest = name_group(rest)
        rest = rest.strip()
        # Tag minimization: two tokens, "-" or "O".
        m = re.match(r"([-Oo])\s+([-Oo])\s+", rest)
        if m:
            rest = rest[m.end():]
        rest = rest.strip()
        if rest[0] == "(":
            end = group_end(rest, 0)
            content = rest[:end + 1]
            rest = rest[end + 1:]
            if rest[:1] in ("?", "*", "+"):
                content += rest[0]
                rest = rest[1:]
            content = normal_model(content)
        else:
            word = re.match(r"[A-Za-z]+", rest).group(0)
            content = word.upper()
            rest = rest[len(word):]
        inclusions = exclusions = ""
        for m in re.finditer(r"([-+])\s*(\([^)]*\))", rest):
            group = " ".join(x.lower() for x in re.findall(r"[A-Za-z0-9]+", m.group(2)))
            if m.group(1) == "+":
                inclusions = group
            else:
                exclusions = group
        for name in names:
            if name in self.elements:
                continue
            self.elements[name] = (content, inclusions, exclusions)

    def attlist(self, rest):
        names, rest = name_group(rest)
        tokens = attlist_tokens(rest)
        i = 0
        attrs = []
        while i < len(tokens):
            name = tokens[i].lower()
            value_type = tokens[i + 1]
            i += 2
            if value_type.startswith("("):
                value_type = "(" + "|".join(
                    x.lower() for x in re.findall(r"[^\s|()]+", value_type)) + ")"
            else:
                value_type = value_type.upper()
                if value_type == "NOTATION":
                    i += 1  # the notation group
            default = tokens[i]
            i += 1
            if default.upper() == "#FIXED":
                default = "#FIXED"
                i += 1
            attrs.append((name, value_type, default.upper() == "#REQUIRED"))
        for element in names:
            table = self.attlists.setdefault(element, {})
            for name, value_type, required in attrs:
                table.setdefault(name, (value_type, required))


def skip_comment_declaration(text, i):
    if text.startswith("<!>", i):
        return i + 3
    j = i + 2
    while True:
        j = text.index("--", text.index("--", j) + 2) + 2
        k = j
        while text[k].isspace():
            k += 1
        if text[k] == ">":
            return k + 1
        j = k


def declaration_end(text, i):
    """Index of the ">" that ends the declaration starting at i."""
    j = i + 2
    while True:
        c = text[j]
        if text.startswith("--", j):
            j = text.index("--", j + 2) + 2
        elif c in "\"'":
            j = text.index(c, j + 1) + 1
        elif c == ">":
            return j
        else:
            j += 1


def strip_comments(decl):
    out = []
    j = 0
    while j < len(decl):
        c = decl[j]
        if decl.startswith("--", j):
            j = decl.index("--", j + 2) + 2
            out.append(" ")
        elif c in "\"'":
            k = decl.index(c, j + 1)
            out.append(decl[j:k + 1])
            j = k + 1
        else:
            out.append(c)
            j += 1
    return "".join(out)


def quoted(text):
    text = text.strip()
    q = text[0]
    if q not in "\"'":
        raise SystemExit("expected a literal: %r" % text[:40])
    end = text.index(q, 1)
    return text[1:end], text[end + 1:]


def group_end(text, i):
    depth = 0
    for j in range(i, len(text)):
        if text[j] == "(":
            depth += 1
        elif text[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    raise SystemExit("unbalanced group")


def name_group(rest):
    rest = rest.strip()
    if rest[0] == "(":
        end = group_end(rest, 0)
        names = [x.lower() for x in re.findall(r"[A-Za-z0-9]+", rest[:end])]
        return names, rest[end + 1:]
    m = re.match(r"[A-Za-z0-9]+", rest)
    return [m.group(0).lower()], rest[m.end():]


def normal_model(model):
    """A model group with names in lower case and no white space."""
    model = re.sub(r"\s+", "", model)
    return re.sub(r"#?[A-Za-z][A-Za-z0-9]*", lambda m: m.group(0).lower(), model)


def attlist_tokens(text):
    tokens = []
    i = 0
    while i < len(text):
        c = text[i]
        if c.isspace():
            i += 1
        elif c in "\"'":
            end = text.index(c, i + 1)
            tokens.append(text[i:end + 1])
            i = end + 1
        elif c == "(":
            end = group_end(text, i)
            tokens.append(text[i:end + 1])
            i = end + 1
        else:
            m = re.match(r"[^\s\"'()]+", text[i:])
            tokens.append(m.group(0))
            i += m.end()
    return tokens


def literal(text, indent):
    """A C++ string literal for `text`, split into adjacent literals after a
    "|", "," or space so that no line passes column 100."""
    width = 96 - indent
    pieces = []
    while len(text) > width:
        cut = max(text.rfind(c, 0, width) for c in "|, ")
        if cut <= 0:
            break
        pieces.append(text[:cut + 1])
        text = text[cut + 1:]
    pieces.append(text)
    return ("\"\n" + " " * indent + "\"").join(pieces).join('""')


def main():
    dtds = []
    for bit, path in VERSIONS:
        d = Dtd()
        d.parse(read(path))
        dtds.append((bit, d))

    def merged(rows_by_version):
        """{row: mask} keeping the first-seen order of rows."""
        out = {}
        for bit, rows in rows_by_version:
            for row in rows:
                out[row] = out.get(row, 0) | bit
        return out

    elements = merged((bit, [(name,) + d.elements[name] for name in sorted(d.elements)])
                      for bit, d in dtds)
    attributes = merged(
        (bit, [(element, name) + d.attlists[element][name]
               for element in sorted(d.attlists) for name in sorted(d.attlists[element])])
        for bit, d in dtds)
    entities = merged((bit, sorted(d.general)) for bit, d in dtds)

    w = sys.stdout.write
    w("// The element and attribute declarations of the HTML 2.0, 3.2 and 4.01\n")
    w("// DTDs, written by tools/html_dtds.py from the W3C's DTD files: do not\n")
    w("// edit by hand. Masks: 0x01 HTML 2.0, 0x02 HTML 3.2, 0x04 HTML 4.01\n")
    w("// Strict, 0x08 Transitional, 0x10 Frameset.\n")
    w("#include \"input/html_dtds.h\"\n\nnamespace varnel {\n\n// clang-format off\n")
    # Elements with the same declaration in the same versions share a row,
    # and so do attributes.
    element_rows = {}
    for (name, content, inclusions, exclusions), mask in elements.items():
        element_rows.setdefault((content, inclusions, exclusions, mask), []).append(name)
    w("const DtdElement dtd_elements[] = {\n")
    for (content, inclusions, exclusions, mask), names in sorted(
            element_rows.items(), key=lambda kv: (sorted(kv[1])[0], kv[0][3])):
        w("    {%s, 0x%02X,\n     %s,\n     %s, %s},\n" % (
            literal(" ".join(sorted(names)), 5), mask, literal(content, 5),
            literal(inclusions, 5), literal(exclusions, 5)))
    w("};\nconst size_t dtd_element_count = sizeof dtd_elements / sizeof dtd_elements[0];\n\n")
    attribute_rows = {}
    for (element, name, value_type, required), mask in attributes.items():
        attribute_rows.setdefault((name, value_type, required, mask), []).append(element)
    w("const DtdAttribute dtd_attributes[] = {\n")
    for (name, value_type, required, mask), names in sorted(
            attribute_rows.items(), key=lambda kv: (kv[0][0], kv[0][3], kv[0][1])):
        w('    {"%s", %s, 0x%02X, %s,\n     %s},\n' % (
            name, literal(value_type, 5), mask, "true" if required else "false",
            literal(" ".join(sorted(names)), 5)))
    w("};\nconst size_t dtd_attribute_count = sizeof dtd_attributes / sizeof dtd_attributes[0];"
      "\n\n")
    w("const DtdEntity dtd_entities[] = {\n")
    by_mask = {}
    for name, mask in entities.items():
        by_mask.setdefault(mask, []).append(name)
    for mask in sorted(by_mask):
        names = sorted(by_mask[mask])
        line = "    {0x%02X, \"" % mask
        text = " ".join(names)
        # Long name lists are split into adjacent literals.
        pieces = []
        while len(text) > 70:
            cut = text.rindex(" ", 0, 70)
            pieces.append(text[:cut + 1])
            text = text[cut + 1:]
        pieces.append(text)
        w(line + ("\"\n" + " " * (len(line) - 1) + "\"").join(pieces) + "\"},\n")
    w("};\nconst size_t dtd_entity_count = sizeof dtd_entities / sizeof dtd_entities[0];\n\n")
    w("// clang-format on\n\n} // namespace varnel\n")


main()
