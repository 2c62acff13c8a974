// Writes a deterministic tag-soup HTML document of about the requested size
// to standard output: paragraphs left open, tables with unclosed cells and
// rows, lists with unclosed items, font and center markup, misnested
// emphasis, entities (known, numeric, unknown and bare ampersands),
// comments, forms with inputs and selects, headings, links and images
// without alt text. The same size always gives the same bytes.
//
// usage: gen_soup <bytes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

uint64_t state = 0x9E3779B97F4A7C15ull;

uint32_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 16);
}

uint32_t pick(uint32_t n) { return next() % n; }

const char* const words[] = {"lorem", "ipsum", "dolor", "sit", "amet", "consectetur", "adipiscing",
                             "elit", "sed", "do", "eiusmod", "tempor", "incididunt", "ut", "labore",
                             "et", "dolore", "magna", "aliqua", "varnel", "markup", "page", "table",
                             "repair", "column", "line", "document"};
const char* const entities[] = {"&amp;", "&nbsp;", "&copy;", "&#169;", "&eacute;", "&foo;", " & ",
                                "&lt;", "&quot;", "&#x263A;"};

std::string out;

void text(int n) {
    for (int i = 0; i < n; ++i) {
        if (i) out += ' ';
        uint32_t r = pick(40);
        if (r == 0) {
            out += entities[pick(sizeof(entities) / sizeof(entities[0]))];
        } else if (r == 1) {
            out += "<b>";
            out += words[pick(27)];
            out += "</b>";
        } else if (r == 2) {
            out += "<i>";
            out += words[pick(27)];
            out += "</i>";
        } else if (r == 3) {
            out += "<b><i>";
            out += words[pick(27)];
            out += "</b></i>"; // misnested
        } else if (r == 4) {
            out += "<a href=\"page";
            out += std::to_string(pick(100));
            out += ".html\">";
            out += words[pick(27)];
            out += "</a>";
        } else if (r == 5) {
            out += "<font color=red size=+1>";
            out += words[pick(27)];
            out += "</font>";
        } else if (r == 6) {
            out += "<img src=\"i";
            out += std::to_string(pick(50));
            out += ".gif\" width=10 height=10>";
        } else {
            out += words[pick(27)];
        }
    }
}

void paragraph() {
    out += pick(3) ? "<p>" : "<P align=center>";
    text(8 + static_cast<int>(pick(30)));
    out += pick(2) ? "</p>\n" : "\n"; // often left open
}

void table() {
    out += "<table border=1>\n";
    int rows = 1 + static_cast<int>(pick(6));
    for (int r = 0; r < rows; ++r) {
        out += "<tr>";
        int cells = 1 + static_cast<int>(pick(5));
        for (int c = 0; c < cells; ++c) {
            out += pick(4) ? "<td>" : "<td nowrap>";
            text(1 + static_cast<int>(pick(6)));
            if (pick(2)) out += "</td>"; // unclosed cells
        }
        out += pick(2) ? "</tr>\n" : "\n";
    }
    out += "</table>\n";
}

void list() {
    bool ordered = pick(2) != 0;
    out += ordered ? "<ol>\n" : "<ul>\n";
    int items = 1 + static_cast<int>(pick(8));
    for (int i = 0; i < items; ++i) {
        out += "<li>";
        text(2 + static_cast<int>(pick(10)));
        out += "\n"; // unclosed items
    }
    out += ordered ? "</ol>\n" : "</ul>\n";
}

void form() {
    out += "<form action=\"/submit\" method=post>\n<input type=text name=q value=\"";
    out += words[pick(27)];
    out += "\">\n<select name=s><option>one<option selected>two<option>three</select>\n";
    out += "<input type=submit value=Go></form>\n";
}

void block() {
    switch (pick(12)) {
    case 0: table(); break;
    case 1: list(); break;
    case 2: form(); break;
    case 3:
        out += "<center>";
        text(5);
        out += "</center>\n";
        break;
    case 4:
        out += "<h2>";
        text(3);
        out += "</h2>\n";
        break;
    case 5:
        out += "<!-- generated section ";
        out += std::to_string(pick(1000));
        out += " -->\n";
        break;
    case 6:
        out += "<div class=box>";
        paragraph();
        out += "</div>\n";
        break;
    default: paragraph(); break;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: gen_soup <bytes> [seed]\n");
        return 2;
    }
    size_t target = strtoull(argv[1], nullptr, 10);
    if (argc == 3) {
        // (The generator's state must not be 0.)
        const uint64_t seed = strtoull(argv[2], nullptr, 10);
        if (seed != 0) state ^= seed * 0xD1B54A32D192ED03ull;
        if (state == 0) state = 1;
    }
    out.reserve(target + 4096);
    out += "<html><head><title>Generated tag soup</title></head>\n<body bgcolor=white>\n";
    while (out.size() < target) block();
    out += "</body></html>\n";
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
