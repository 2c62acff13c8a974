// The per-document state: its options and tags, its TextBuffer and style
// rules.
#include "model/document.h"

#include "base/utf8.h"
#include "base/util.h"
#include "model/node.h"

namespace varnel {

void free_style_rules(StyleRule* rules) {
    while (rules != nullptr) {
        StyleRule* next = rules->next;
        delete rules;
        rules = next;
    }
}

DocumentState::DocumentState(const Config& document_options)
    : options(document_options), tags(document_options.declared_tags) {}

void retag_element(DocumentState* doc, Node* element, TagPtr tag) {
    doc->former_tags[element] = element->tag();
    element->retagged = true;
    element->set_tag(tag);
}

TagPtr former_tag(const DocumentState* doc, const Node* element) {
    if (!element->retagged) return nullptr;
    const auto found = doc->former_tags.find(element);
    return found != doc->former_tags.end() ? found->second : nullptr;
}

DocumentState::~DocumentState() {
    free_style_rules(styles);
}

void append_char(DocumentState* doc, uint32_t c) {
    // Node ranges are 32-bit indices into the TextBuffer.
    if (doc->text.size() >= 0xFFFFFFF0u) fatal_error("Out of memory!");
    unsigned char bytes[8];
    unsigned char* end = encode_utf8(bytes, c);
    doc->text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

void append_string(DocumentState* doc, const char* s) {
    for (; *s != '\0'; ++s)
        append_char(doc, static_cast<unsigned char>(*s));
}

} // namespace varnel
