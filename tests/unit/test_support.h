// Helpers shared by the unit tests: the options the tests set, a lexer over
// an in-memory document with its diagnostics captured, and compact dumps of
// tokens and trees.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/config.h"
#include "input/lexer.h"
#include "input/stream.h"
#include "model/attrs.h"
#include "model/entities.h"
#include "model/node.h"
#include "model/tags.h"
#include "tree/inline_stack.h"

namespace varnel {

// The options the tests set: every document a test makes (a lexer, a
// parse, a print) takes them as they stand when it is made.
inline Config options;

} // namespace varnel

namespace varnel::test {

// Restores the default options.
inline void fresh_globals() {
    options = Config{};
}

// A lexer reading `source` with the tests' options, with its reports
// written to a memory buffer.
class LexerOver {
  public:
    explicit LexerOver(const std::string& source, CharEncoding encoding = CharEncoding::Ascii)
        : source_(source) {
        file_ = tmpfile();
        fwrite(source_.data(), 1, source_.size(), file_);
        rewind(file_);
        messages_ = open_memstream(&message_buffer_, &message_size_);
        stream = new_input_stream(file_, encoding, options.tab_size);
        lexer = new_lexer(stream, options);
        lexer->messages = messages_;
        stream->lexer = lexer;
    }
    ~LexerOver() {
        free_lexer(lexer);
        free_input_stream(stream);
        fclose(file_);
        fclose(messages_);
        free(message_buffer_);
    }
    LexerOver(const LexerOver&) = delete;
    LexerOver& operator=(const LexerOver&) = delete;

    // Everything reported so far.
    std::string messages() {
        fflush(messages_);
        return std::string(message_buffer_, message_size_);
    }
    // The text of a node's TextBuffer range.
    std::string text(const Node* node) const {
        return lexer->text.substr(node->start, node->end() - node->start);
    }

    InputStream* stream = nullptr;
    Lexer* lexer = nullptr;

  private:
    std::string source_;
    FILE* file_ = nullptr;
    FILE* messages_ = nullptr;
    char* message_buffer_ = nullptr;
    size_t message_size_ = 0;
};

// An ASCII page as UTF-16 (little-endian, after its byte order mark), so
// that a test can read it both ways: straight from the stream's buffer and
// through the decoder.
inline std::string as_utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

inline const char* kind_label(NodeKind kind) {
    static const char* const labels[] = {"root",  "doctype", "comment", "pi",    "text",
                                         "start", "end",     "empty",   "cdata", "section",
                                         "asp",   "jste",    "php"};
    return labels[kind];
}

// "start:a[href=x,title='y']" style description of one token; attributes in
// source order, values in the quote they will be printed with.
inline std::string describe_token(const LexerOver& lx, const Node* node) {
    std::string out = kind_label(node->kind());
    out += ':';
    if (node->kind() == StartTagNode || node->kind() == EndTagNode ||
        node->kind() == StartEndTagNode) {
        out += node->element_name();
        std::vector<const NodeAttribute*> attrs;
        for (const NodeAttribute* a = node->attributes(); a; a = a->next)
            attrs.insert(attrs.begin(), a);
        if (!attrs.empty()) {
            out += '[';
            for (size_t i = 0; i < attrs.size(); ++i) {
                const NodeAttribute* a = attrs[i];
                if (i) out += ',';
                if (a->php()) {
                    out += "<?" + lx.text(a->php()) + "?>";
                } else if (a->asp()) {
                    out += "<%" + lx.text(a->asp()) + "%>";
                } else {
                    out += a->name();
                    if (a->value) {
                        out += '=';
                        out += static_cast<char>(a->delimiter);
                        out += *a->value;
                        out += static_cast<char>(a->delimiter);
                    }
                }
            }
            out += ']';
        }
    } else {
        out += lx.text(node);
    }
    return out;
}

// Reads every token with one white-space mode and describes them.
inline std::vector<std::string> all_tokens(LexerOver& lx, WhitespaceMode mode) {
    std::vector<std::string> out;
    while (Node* node = get_token(lx.lexer, mode)) {
        out.push_back(describe_token(lx, node));
        free_node(node);
    }
    return out;
}

} // namespace varnel::test
