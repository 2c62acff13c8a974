// Slide output: one file per h2 section of the body, with navigation.
#include "output/slides.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/config.h"
#include "base/files.h"
#include "base/messages.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"
#include "output/printer.h"

namespace varnel {

namespace {

// Appends formatted text to the pending line, unescaped.
template <typename... Args> void add_format(OutputStream* out, const char* format, Args... args) {
    char text[128];
    int n = snprintf(text, sizeof text, format, args...);
    if (n < 0) return;
    if (static_cast<size_t>(n) >= sizeof text) n = static_cast<int>(sizeof text) - 1;
    for (int i = 0; i < n; ++i)
        add_char(out, static_cast<unsigned char>(text[i]));
}

bool is_h2(const Node* node) {
    return node != nullptr && node->tag() == tag_h2;
}

// Appends the hr that separates navigation from content.
void add_rule(OutputStream* out) {
    const Config& options = *out->options;
    add_char(out, '<');
    for (const char* s = "hr"; *s != '\0'; ++s) {
        add_char(out,
                 static_cast<uint32_t>(fold_case(*s, options.uppercase_tags, options.input_xml)));
    }
    add_string(out, options.output_xml ? " />" : ">");
}

void slide_file_name(char* buffer, size_t size, int number) {
    snprintf(buffer, size, "slide%d.html", number);
}

// Why a slide file may not be written over, or null when it may: one of the
// documents of the run, or something other than a regular file or a device
// (a pipe would make the run wait for a reader).
const char* refusal(const SlideFiles& files, const struct stat& info) {
    if (files.documents != nullptr && files.documents->contains(info))
        return "it is one of the documents";
    if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode)) return "not a regular file";
    return nullptr;
}

void report_unwritable(Lexer* lexer, const SlideFiles& files, const char* name,
                       const char* reason) {
    write_message(lexer->error_messages, lexer->diagnostics, Severity::Error,
                  std::string(files.program_name) + ": can't write \"" + name + "\" - " + reason);
}

// Opens a slide file for writing, emptying it only once it is known that it
// may be written; null after the message when it cannot be opened.
FILE* open_slide_file(Lexer* lexer, const SlideFiles& files, const char* name) {
    struct stat info;
    if (stat(name, &info) == 0 && refusal(files, info) != nullptr) {
        report_unwritable(lexer, files, name, refusal(files, info));
        return nullptr;
    }
    int fd = open(name, O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        report_unwritable(lexer, files, name, strerror(errno));
        return nullptr;
    }
    const char* reason = fstat(fd, &info) != 0 ? strerror(errno) : refusal(files, info);
    if (reason == nullptr && S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0)
        reason = strerror(errno);
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* file = reason == nullptr ? fdopen(fd, "w") : nullptr;
    if (file == nullptr) {
        if (reason == nullptr) reason = strerror(errno);
        report_unwritable(lexer, files, name, reason);
        close(fd);
    }
    return file;
}

// Flushes and closes a written slide file; false after the message when
// any of its text could not be written.
bool close_slide_file(Lexer* lexer, const SlideFiles& files, FILE* file, const char* name) {
    int error = 0;
    if (fflush(file) != 0) {
        error = errno;
    } else if (ferror(file)) {
        error = EIO;
    }
    if (fclose(file) != 0 && error == 0) error = errno;
    if (error == 0) return true;
    report_unwritable(lexer, files, name, strerror(error));
    return false;
}

// Moves the cursor past the content of the slide being written, as printing
// it would.
void skip_slide_content(SlideState& slides) {
    if (is_h2(slides.slide_cursor)) slides.slide_cursor = slides.slide_cursor->next;
    while (slides.slide_cursor != nullptr && !is_h2(slides.slide_cursor))
        slides.slide_cursor = slides.slide_cursor->next;
}

} // namespace

int count_slides(Node* body) {
    int count = 1;
    for (Node* n = body != nullptr ? body->first_child() : nullptr; n != nullptr; n = n->next) {
        if (is_h2(n)) ++count;
    }
    return count;
}

bool create_slides(Lexer* lexer, Node* root, const SlideFiles& files) {
    SlideState slides;
    Node* body = find_body(root);
    slides.body = body;
    slides.slide_count = count_slides(body);
    slides.slide_cursor = body != nullptr ? body->first_child() : nullptr;
    add_slide_transition(lexer, root, -1, 3.0);

    bool all_written = true;
    char name[32];
    for (slides.slide_number = 1; slides.slide_number <= slides.slide_count;
         ++slides.slide_number) {
        slide_file_name(name, sizeof name, slides.slide_number);
        FILE* file = open_slide_file(lexer, files, name);
        if (file == nullptr) {
            all_written = false;
            skip_slide_content(slides);
            continue;
        }
        OutputStream out;
        out.encoding = lexer->options.char_encoding;
        out.iso2022_state = Iso2022Ascii;
        out.sink = file;
        out.options = &lexer->options;
        out.slides = &slides;
        print_tree(&out, PrintNormal, 0, lexer, root);
        flush_line(&out, 0);
        flush_output(&out);
        if (!close_slide_file(lexer, files, file, name)) all_written = false;
    }
    // Remove slides left over from an earlier, longer run; a document of the
    // run that happens to bear such a name is not a leftover.
    for (;; ++slides.slide_number) {
        slide_file_name(name, sizeof name, slides.slide_number);
        struct stat info;
        if (stat(name, &info) == 0 && files.documents != nullptr && files.documents->contains(info))
            continue;
        if (unlink(name) != 0) break;
    }
    return all_written;
}

void add_slide_transition(Lexer* lexer, Node* root, int transition, double duration) {
    char content[128];
    if (static_cast<unsigned>(transition) > 23) {
        snprintf(content, sizeof content, "blendTrans(Duration=%g)", duration);
    } else {
        snprintf(content, sizeof content, "revealTrans(Duration=%g,Transition=%d)", duration,
                 transition);
    }
    Node* head = find_head(root);
    if (head == nullptr) return;
    Node* meta = infer_tag(lexer, "meta");
    add_attribute(meta, "http-equiv", "Page-Enter");
    add_attribute(meta, "content", content);
    insert_node_at_start(head, meta);
}

void print_slide(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer) {
    const Config& options = *out->options;
    SlideState& slides = *out->slides;
    const bool indent_content = options.indent_content || options.smart_indent;
    const uint32_t step = indent_content && options.indent_spaces > 0
                              ? static_cast<uint32_t>(options.indent_spaces)
                              : 0;
    const int next = slides.slide_number < slides.slide_count ? slides.slide_number + 1 : 1;

    add_format(out, "<div onclick=\"document.location='slide%d.html'\">", next);
    flush_pending_line(out, indent);

    if (is_h2(slides.slide_cursor)) {
        print_slide_navigation(out, indent);
        add_rule(out);
        if (indent_content) flush_pending_line(out, indent);
        print_tree(out, mode, indent + step, lexer, slides.slide_cursor);
        slides.slide_cursor = slides.slide_cursor->next;
    }

    const Node* previous = nullptr;
    while (slides.slide_cursor != nullptr && !is_h2(slides.slide_cursor)) {
        Node* node = slides.slide_cursor;
        if (!indent_content && node->tag() != nullptr && (node->tag()->model & ModelBlock) != 0 &&
            previous != nullptr && previous->kind() == TextNode) {
            flush_line(out, indent);
            flush_line(out, indent);
        }
        print_tree(out, mode, indent + step, lexer, node);
        previous = node;
        slides.slide_cursor = node->next;
    }

    flush_pending_line(out, indent);
    // In XHTML the break is an empty element like the rules around it.
    add_string(out, options.output_xml ? "<br clear=\"all\" />" : "<br clear=\"all\">");
    flush_pending_line(out, indent);

    add_rule(out);
    if (indent_content) flush_pending_line(out, indent);

    print_slide_navigation(out, indent);

    add_string(out, "</div>");
    flush_pending_line(out, indent);
}

void print_slide_navigation(OutputStream* out, uint32_t indent) {
    const SlideState& slides = *out->slides;
    flush_pending_line(out, indent);
    add_string(out, "<center><small>");
    if (slides.slide_number > 1) {
        add_format(out, "<a href=\"slide%d.html\">previous</a> | ", slides.slide_number - 1);
        flush_pending_line(out, indent);
        add_string(out, slides.slide_number < slides.slide_count
                            ? "<a href=\"slide1.html\">start</a> | "
                            : "<a href=\"slide1.html\">start</a>");
        flush_pending_line(out, indent);
    }
    if (slides.slide_number < slides.slide_count) {
        add_format(out, "<a href=\"slide%d.html\">next</a>", slides.slide_number + 1);
    }
    add_string(out, "</small></center>");
    flush_pending_line(out, indent);
}

} // namespace varnel
