// The builder routine of each kind the tag table names.
#include "tree/builders.h"

namespace varnel {

namespace {

struct BuilderEntry {
    BuilderKind kind;
    ParserFn routine;
};

// In the order of BuilderKind.
constexpr BuilderEntry builder_rows[] = {
    {BuilderNone, nullptr},
    {BuilderHtml, build_html},
    {BuilderHead, build_head},
    {BuilderTitle, build_title},
    {BuilderScript, build_script},
    {BuilderBody, build_body},
    {BuilderFrameset, build_frameset},
    {BuilderNoframes, build_noframes},
    {BuilderBlock, build_block},
    {BuilderInline, build_inline},
    {BuilderList, build_list},
    {BuilderDeflist, build_deflist},
    {BuilderPre, build_pre},
    {BuilderTable, build_table},
    {BuilderColgroup, build_colgroup},
    {BuilderRowgroup, build_rowgroup},
    {BuilderRow, build_row},
    {BuilderSelect, build_select},
    {BuilderOptgroup, build_optgroup},
    {BuilderText, build_text},
    {BuilderForeign, build_foreign},
};

constexpr bool rows_in_order() {
    for (size_t i = 0; i < sizeof(builder_rows) / sizeof(builder_rows[0]); ++i) {
        if (static_cast<size_t>(builder_rows[i].kind) != i) return false;
    }
    return true;
}
static_assert(rows_in_order(), "one row per builder kind, in order");

} // namespace

ParserFn builder_routine(BuilderKind kind) {
    const size_t index = static_cast<size_t>(kind);
    return index < sizeof(builder_rows) / sizeof(builder_rows[0]) ? builder_rows[index].routine
                                                                  : nullptr;
}

} // namespace varnel
