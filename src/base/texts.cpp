// The fixed texts: the per-document banner, the "must be fixed" notice, the
// closing paragraph of a run, and the help and version texts.
#include "base/messages.h"

#include <string_view>

namespace varnel {

const char* const release_date = "8 December 2026";

namespace {

const char* const home_page = "https://www.varnel.org/";
const char* const author_page = "https://www.varnel.org/author/";
const char* const bug_address = "bugs@varnel.org";
const char* const markup_pages = "http://www.w3.org/MarkUp/";
const char* const style_pages = "http://www.w3.org/Style/CSS/";
const char* const membership_pages = "http://www.w3.org/Consortium/";

// The help text after its first line, line by line.
const char* const help_lines[] = {
    "\n",
    "Processing directives\n",
    "--------------------\n",
    "  -indent or -i   indent element content\n",
    "  -omit   or -o   omit optional endtags\n",
    "  -wrap 72        wrap text at column 72 (default is 68)\n",
    "  -upper  or -u   force tags to upper case (default is lower)\n",
    "  -clean  or -c   replace font, nobr & center tags by CSS\n",
    "  -numeric or -n  output numeric rather than named entities\n",
    "  -errors or -e   only show errors\n",
    "  -quiet or -q    suppress nonessential output\n",
    "  -xml            use this when input is wellformed xml\n",
    "  -asxml          to convert html to wellformed xml\n",
    "  -slides         to burst into slides on h2 elements\n",
    "  -preserve       to preserve entities from source file\n",
    "\n",
    "Character encodings\n",
    "------------------\n",
    "  -raw            leave chars > 128 unchanged upon output\n",
    "  -ascii          use ASCII for output, Latin-1 for input\n",
    "  -latin1         use Latin-1 for both input and output\n",
    "  -iso2022        use ISO2022 for both input and output\n",
    "  -utf8           use UTF-8 for both input and output\n",
    "  -mac            use the Apple MacRoman character set\n",
    "\n",
    "\n",
    "File manipulation\n",
    "---------------\n",
    "  -config <file>  set options from config file\n",
    "  -f <file>       write errors to named <file>\n",
    "  -modify or -m   to modify original files\n",
    "  -j <n>          process the files on <n> threads (0: one per core)\n",
    "\n",
    "Miscellaneous\n",
    "------------\n",
    "  -version or -v  show version\n",
    "  -help   or -h   list command line options\n",
    "  -help-config    list config options with their defaults\n",
    "You can also use --blah for any config file option blah\n",
    "\n",
    "Input/Output default to stdin/stdout respectively\n",
    "Single letter options apart from -f may be combined\n",
    "as in:  varnel -f errs.txt -imu foo.html\n",
};

} // namespace

void show_banner(FILE* out, const char* date, const char* label) {
    if (label == nullptr || std::string_view(label) == "stdin") {
        fprintf(out, "\nVarnel (vers %s) Parsing console input (stdin)\n", date);
    } else {
        fprintf(out, "\nVarnel (vers %s) Parsing \"%s\"\n", date, label);
    }
}

void report_needs_fixing(FILE* out) {
    fputs("This document has errors that must be fixed before\n", out);
    fputs("using HTML Varnel to generate a varnelled up version.\n\n", out);
}

void report_closing_info(FILE* out) {
    fprintf(out, "The HTML and CSS standards are published at %s and %s\n", markup_pages,
            style_pages);
    fprintf(out, "To learn more about HTML Varnel see %s\n", home_page);
    fprintf(out, "Please send problem reports to %s\n", bug_address);
    fprintf(out, "Your organisation is welcome to join the W3C, see %s\n", membership_pages);
}

void show_help(FILE* out, const char* program_name) {
    fprintf(out, "%s: file1 file2 ...\n", program_name);
    fputs("Utility to clean up & pretty print html files\n", out);
    fprintf(out, "See %s for the latest version\n", home_page);
    fprintf(out, "options for varnel released on %s\n", release_date);
    for (const char* line : help_lines)
        fputs(line, out);
    fprintf(out, "The HTML standards are described at %s\n", markup_pages);
    fputs("\n", out);
}

void show_version(FILE* out) {
    fprintf(out, "HTML Varnel release date: %s\n", release_date);
    fprintf(out, "See %s for details\n", author_page);
}

} // namespace varnel
