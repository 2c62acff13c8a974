// Slide output: with the split option, the document is cut at the h2
// children of its body into slide1.html, slide2.html, ..., each with the
// whole head, navigation links and a click-to-advance division.
//
// A slide file is never one of the documents of the run (by any of its
// names), and neither is a stale slide file that the clean-up deletes. A
// slide file that cannot be written is reported with the messages about
// files (standard error); its share of the content is skipped, so every
// later slide keeps its own number.
#pragma once

#include <cstdint>

#include "output/out_stream.h"

namespace varnel {

class FileSet;
struct Lexer;
struct Node;

// The slide being written.
struct SlideState {
    int slide_number = 0;
    int slide_count = 0;
    Node* slide_cursor = nullptr;
    Node* body = nullptr; // the body whose content is split into slides
};

// What writing slide files needs of the run: the documents, which no slide
// file may overwrite or delete, and the name messages quote the program
// by.
struct SlideFiles {
    const FileSet* documents = nullptr;
    const char* program_name = "varnel";
};

int count_slides(Node* body);
// Writes all slide files; false when any of them could not be written.
// Messages about files go to the lexer's error_messages.
bool create_slides(Lexer* lexer, Node* root, const SlideFiles& files);
void add_slide_transition(Lexer* lexer, Node* root, int transition, double duration);
void print_slide(OutputStream* out, PrintMode mode, uint32_t indent, Lexer* lexer);
void print_slide_navigation(OutputStream* out, uint32_t indent);

} // namespace varnel
