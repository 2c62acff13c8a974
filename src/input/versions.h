// The HTML versions a page conforms to as it will be printed. A walk over
// the finished tree (after every cleaning pass) asks the DTD of each version
// (dtd_tables.h) whether it allows what the printer writes: each element,
// where it stands and in what order, its attributes and their values, and
// the characters of the page. The answer depends on the printed tree alone,
// so reading the output back gives the same answer. The processing flow
// calls it before the doctype is set.
#pragma once

#include "model/tags.h"

namespace varnel {

struct Lexer;
struct Node;

// The standard version bits (within 0x1F) of the versions the printed page
// fits. When no version is free of faults, the versions whose vocabulary
// covers the page (elements, attributes, values, characters and placement)
// are given, leaving out faults that no version accepts; a page using
// proprietary markup fits none, and neither does one using markup that only
// HTML5 has. VersionHTML5 is added when every element and attribute of the
// page is one HTML5 knows (its own, or one it made obsolete).
VersionBits printed_versions(const Lexer* lexer, const Node* root);

// True when `name` is an element some HTML version declares.
bool is_dtd_element(const char* name);

} // namespace varnel
