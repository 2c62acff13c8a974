// Writes a deterministic HTML document of about the requested size to
// standard output that is mostly running text: long prose paragraphs with
// a few inline elements (emphasis, links, code, an entity now and then),
// headings, lists, block quotes and an occasional preformatted block. It is
// still written carelessly in places (paragraphs and list items left open,
// an upper-case tag, a bare ampersand), but tags are few next to gen_soup,
// so the two together keep one input shape from deciding the numbers.
// The same size always gives the same bytes; a seed (any number but 0)
// gives another document of the same kind.
//
// usage: gen_prose <bytes> [seed]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

uint64_t state = 0x2545F4914F6CDD1Dull;

uint32_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state >> 16);
}

uint32_t pick(uint32_t n) {
    return next() % n;
}

template <size_t N> const char* any(const char* const (&list)[N]) {
    return list[pick(N)];
}

const char* const words[] = {
    "the",       "of",        "and",       "a",          "to",           "in",
    "is",        "that",      "for",       "it",         "as",           "with",
    "on",        "by",        "this",      "are",        "from",         "or",
    "which",     "be",        "an",        "not",        "at",           "when",
    "each",      "its",       "page",      "reader",     "document",     "element",
    "paragraph", "browser",   "attribute", "value",      "heading",      "section",
    "printer",   "line",      "column",    "character",  "entity",       "table",
    "structure", "markup",    "content",   "author",     "version",      "output",
    "input",     "written",   "repaired",  "closed",     "nested",       "wrapped",
    "indented",  "preserved", "careful",   "ordinary",   "historical",   "reasonable",
    "small",     "long",      "quiet",     "particular", "consistent",   "surprising",
    "between",   "without",   "because",   "although",   "whenever",     "afterwards",
    "sometimes", "usually",   "therefore", "otherwise",  "nevertheless", "meanwhile",
    "river",     "mountain",  "library",   "letter",     "morning",      "harbour",
    "window",    "garden",    "journey",   "question",   "answer",       "evening"};
const char* const inline_entities[] = {"&amp;",   "&nbsp;",   "&mdash;", "&eacute;",
                                       "&#8217;", "&hellip;", "&copy;",  "&lt;tag&gt;"};
const char* const link_targets[] = {"intro.html", "chapter2.html#notes", "../index.html",
                                    "https://example.org/a?b=1&amp;c=2", "#top"};

std::string out;

// One sentence: a capitalised first word, words and the odd comma, a full
// stop; now and then a word is wrapped in an inline element.
void sentence() {
    int n = 6 + static_cast<int>(pick(18));
    for (int i = 0; i < n; ++i) {
        if (i) out += (pick(9) == 0) ? ", " : " ";
        std::string w = any(words);
        if (i == 0 && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
        switch (pick(160)) {
        case 0:
            out += "<em>" + w + "</em>";
            break;
        case 1:
            out += "<strong>" + w + "</strong>";
            break;
        case 2:
            out += "<a href=\"";
            out += any(link_targets);
            out += "\">" + w + "</a>";
            break;
        case 3:
            out += "<code>" + w + "()</code>";
            break;
        case 4:
            out += any(inline_entities);
            break;
        case 5:
            out += w + " & " + any(words);
            break; // a bare ampersand
        case 6:
            out += "<I>" + w + "</I>";
            break;
        default:
            out += w;
            break;
        }
    }
    out += pick(12) == 0 ? "? " : ". ";
}

// A paragraph of several sentences; line feeds fall inside it as a text
// editor would wrap it, and about one in three is left open.
void paragraph() {
    out += "<p>";
    int sentences = 3 + static_cast<int>(pick(9));
    size_t line_start = out.size();
    for (int i = 0; i < sentences; ++i) {
        sentence();
        if (out.size() - line_start > 72) {
            out.back() = '\n';
            line_start = out.size();
        }
    }
    out += pick(3) == 0 ? "\n" : "</p>\n";
}

void heading(int level) {
    out += "<h" + std::to_string(level) + ">";
    int n = 2 + static_cast<int>(pick(5));
    for (int i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += any(words);
    }
    out += "</h" + std::to_string(level) + ">\n";
}

void list() {
    bool ordered = pick(3) == 0;
    out += ordered ? "<ol>\n" : "<ul>\n";
    int items = 2 + static_cast<int>(pick(6));
    for (int i = 0; i < items; ++i) {
        out += "<li>";
        sentence();
        if (pick(2)) sentence();
        out += pick(2) ? "</li>\n" : "\n"; // items left open
    }
    out += ordered ? "</ol>\n" : "</ul>\n";
}

void quote() {
    out += "<blockquote>";
    paragraph();
    out += "</blockquote>\n";
}

void preformatted() {
    out += "<pre>\n";
    int lines = 2 + static_cast<int>(pick(8));
    for (int i = 0; i < lines; ++i) {
        out.append(static_cast<size_t>(pick(4)) * 4, ' ');
        out += any(words);
        out += " = ";
        out += std::to_string(pick(10000));
        out += pick(5) == 0 ? ";  &lt;-- " : ";\n";
        if (out.back() == ' ') {
            out += any(words);
            out += '\n';
        }
    }
    out += "</pre>\n";
}

void block() {
    switch (pick(20)) {
    case 0:
        heading(2);
        break;
    case 1:
    case 2:
        heading(3);
        break;
    case 3:
    case 4:
        list();
        break;
    case 5:
        quote();
        break;
    case 6:
        preformatted();
        break;
    default:
        paragraph();
        break;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: gen_prose <bytes> [seed]\n");
        return 2;
    }
    size_t target = strtoull(argv[1], nullptr, 10);
    if (argc == 3) {
        // (The generator's state must not be 0.)
        const uint64_t seed = strtoull(argv[2], nullptr, 10);
        if (seed != 0) state ^= seed * 0xD1B54A32D192ED03ull;
        if (state == 0) state = 1;
    }
    out.reserve(target + 8192);
    out += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
           "<html><head><title>Generated prose</title></head>\n<body>\n"
           "<h1>A long document</h1>\n";
    while (out.size() < target)
        block();
    out += "</body></html>\n";
    fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
