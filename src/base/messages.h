// What the program says that needs nothing of the document model: the one
// routine that writes a positional report with its position prefix (and
// records it as a Diagnostic, varnel/diagnostic.h), and the
// fixed texts: the per-document banner, the "must be fixed" notice, the
// closing paragraph of a run, and the help and version texts. The reports
// about a document's content (model/reports.h) are built on these.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "varnel/diagnostic.h"

namespace varnel {

// The release date shown by the banner, help and version texts.
extern const char* const release_date;

// Writes a positional report to `out` (when not null): the prefix ("line L
// column C - ", or "label:L:C: " for gnu-emacs), the text and a line end;
// and adds it to `records` (when not null).
void write_report(FILE* out, std::vector<Diagnostic>* records, const std::string& label,
                  bool gnu_emacs, uint32_t line, uint32_t column, Severity severity,
                  const std::string& text);

// Writes a message about a file or about the run (not about a place in a
// document) to `out` (when not null), with a line end, and adds it to
// `records` (when not null) at line 0, column 0.
void write_message(FILE* out, std::vector<Diagnostic>* records, Severity severity,
                   const std::string& text);

void show_banner(FILE* out, const char* date, const char* label);
void report_needs_fixing(FILE* out);
void report_closing_info(FILE* out);
void show_help(FILE* out, const char* program_name);
void show_version(FILE* out);

} // namespace varnel
