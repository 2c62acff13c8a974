// Helpers for the output tests: the output stream the tests print through,
// a memory sink that collects the bytes it writes, and a fixture that builds small trees (text in a
// lexer's TextBuffer, elements by name, attributes in source order) and
// prints them the way the driver does (the tree, then a final line end).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "base/config.h"
#include "base/util.h"
#include "input/lexer.h"
#include "model/attrs.h"
#include "model/node.h"
#include "model/tags.h"
#include "output/out_stream.h"
#include "output/printer.h"
#include "test_support.h"

namespace varnel::test {

// The output stream the tests print through, with the tests' options. Its
// pending line lasts from one sink to the next: tests build a line and then
// flush it into a sink made for it.
inline OutputStream& stream() {
    static OutputStream shared;
    return shared;
}

// Points the shared output stream at an in-memory file; bytes() closes it
// and returns everything written.
class MemorySink {
  public:
    explicit MemorySink(CharEncoding encoding = options.char_encoding) : out(stream()) {
        file_ = open_memstream(&buffer_, &size_);
        out.encoding = encoding;
        out.iso2022_state = Iso2022Ascii;
        out.sink = file_;
        out.options = &options;
    }
    ~MemorySink() {
        close();
        free(buffer_);
    }
    MemorySink(const MemorySink&) = delete;
    MemorySink& operator=(const MemorySink&) = delete;

    std::string bytes() {
        close();
        return std::string(buffer_ != nullptr ? buffer_ : "", size_);
    }

    OutputStream& out;

  private:
    // Hands the stream's collected bytes to the file and closes it; what
    // is written after that goes nowhere.
    void close() {
        if (file_ == nullptr) return;
        flush_output(&out);
        fclose(file_);
        file_ = nullptr;
        out.sink = nullptr;
    }

    FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

// Empties the shared stream's pending line.
inline void reset_line() {
    OutputStream& s = stream();
    mem_free(s.line.chars);
    s.line = LineBuffer{};
}

// Restores the options and the shared stream.
inline void reset_output_state() {
    options = Config{};
    reset_line();
    OutputStream& s = stream();
    s.wrap_column = 68;
    s.entity_names_undeclared = false;
    s.options = &options;
    s.slides = nullptr;
}

class OutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_output_state();
        root = new_node();
        root->set_kind(RootNode);
    }
    void TearDown() override {
        free_node(root);
        reset_output_state();
    }

    // Appends UTF-8 bytes to the TextBuffer and returns their range.
    std::pair<uint32_t, uint32_t> store(std::string_view utf8) {
        const uint32_t start = lexer.text_length();
        lexer.text.append(utf8);
        return {start, lexer.text_length()};
    }

    // A node of `kind` whose span holds `utf8`, appended to `parent`.
    Node* span(Node* parent, NodeKind kind, std::string_view utf8) {
        Node* node = new_node();
        node->set_kind(kind);
        auto [start, end] = store(utf8);
        node->start = start;
        node->set_end(end);
        insert_node_at_end(parent, node);
        return node;
    }
    Node* text(Node* parent, std::string_view utf8) { return span(parent, TextNode, utf8); }

    // An element made by name (its tag looked up), appended to `parent`.
    Node* element(Node* parent, const char* name, NodeKind kind = StartTagNode) {
        Node* node = infer_tag(&lexer, name);
        node->set_kind(kind);
        insert_node_at_end(parent, node);
        return node;
    }

    // Adds an attribute after those added before (in source order, as the
    // lexer does: its list is kept newest first).
    NodeAttribute* attribute(Node* node, const char* name, std::optional<std::string> value,
                             int delimiter = '"', const AttrDef* def = nullptr) {
        NodeAttribute* a = new_attribute();
        a->set_name(name);
        if (value) a->value = *value;
        a->delimiter = delimiter;
        a->set_attr_def(def);
        a->next = node->attributes();
        node->set_attributes(a);
        return a;
    }

    // Prints like the driver: the tree at mode 0 and indent 0, then a
    // final flush_line.
    std::string print(Node* node = nullptr) {
        MemorySink sink;
        print_tree(&sink.out, PrintNormal, 0, &lexer, node != nullptr ? node : root);
        flush_line(&sink.out, 0);
        return sink.bytes();
    }
    std::string print_xml(Node* node = nullptr) {
        MemorySink sink;
        print_xml_tree(&sink.out, PrintNormal, 0, &lexer, node != nullptr ? node : root);
        flush_line(&sink.out, 0);
        return sink.bytes();
    }

    Lexer lexer{Config{}};
    Node* root = nullptr;
};

} // namespace varnel::test
