// What HTML5 (the living standard) allows: the attributes every element
// takes (the global attributes, data-*, aria-*, role and the event handler
// content attributes), the attributes of each element, and the values of
// the few enumerated attributes whose HTML5 values earlier versions lack.
// The version walk (versions.h) asks these tables whether a printed page
// uses markup that only HTML5 has; the tag and attribute dictionaries say
// which names HTML5 knows at all.
#pragma once

#include <string_view>

namespace varnel {

// True when HTML5 allows attribute `attribute` (lower case) on element
// `element` (lower case), as a global attribute or as one of its own.
bool html5_allows_attribute(std::string_view element, std::string_view attribute);

// True when `value` of `attribute` on `element` is one that only HTML5
// gives a meaning: the new input types, a module script.
bool is_html5_only_value(std::string_view element, std::string_view attribute,
                         std::string_view value);

// The names of foreign content as HTML reads them: tags and attributes are
// lower-cased, then SVG's mixed-case names get their case back
// (foreignobject -> foreignObject, viewbox -> viewBox), and MathML's
// definitionurl -> definitionURL. Names not in the tables come back as
// given.
std::string_view svg_element_name(std::string_view lower);
std::string_view svg_attribute_name(std::string_view lower);
std::string_view mathml_attribute_name(std::string_view lower);

// True for a start tag that ends svg or math content where it stands (outside
// the elements whose content is HTML text): the HTML elements a page puts
// there when it has left the drawing out of forgetfulness (p, div, b, br,
// table ...). `font` counts only with a color, face or size attribute.
bool breaks_out_of_foreign(std::string_view lower, bool font_with_presentation);

} // namespace varnel
