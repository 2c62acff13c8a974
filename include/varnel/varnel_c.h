/* varnel's C interface, for C and for other languages' foreign function
 * interfaces (Python's ctypes, for one). It is a thin layer over the C++
 * interface in varnel/varnel.h, which describes what processing does.
 *
 *     varnel_options* options = varnel_options_new();
 *     varnel_options_set(options, "indent", "auto");
 *     varnel_result* result = varnel_process(options, page, page_length);
 *     size_t length;
 *     const char* output = varnel_result_output(result, &length);
 *     ...
 *     varnel_result_free(result);
 *     varnel_options_free(options);
 *
 * Strings returned belong to the object they come from and stay valid
 * until it is freed (for an options object: until its next call). No
 * function prints, exits or lets an exception out; a null result means
 * that memory ran out. */
#ifndef VARNEL_VARNEL_C_H
#define VARNEL_VARNEL_C_H

#include <stddef.h>

/* Marks what the shared library exports. */
#ifndef VARNEL_C_API
#define VARNEL_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct varnel_options varnel_options;
typedef struct varnel_result varnel_result;

/* Severities of a diagnostic. */
enum { VARNEL_WARNING = 0, VARNEL_ERROR = 1 };

/* Options starting from the built-in defaults; null when memory ran out. */
VARNEL_C_API varnel_options* varnel_options_new(void);
VARNEL_C_API void varnel_options_free(varnel_options* options);

/* Sets an option by its configuration name and value: 0 when accepted, -1
 * otherwise, with the warning in varnel_options_message. */
VARNEL_C_API int varnel_options_set(varnel_options* options, const char* name, const char* value);

/* Reads a configuration file: 0 when read without warnings, -1 otherwise,
 * with the warnings in varnel_options_message. */
VARNEL_C_API int varnel_options_read_file(varnel_options* options, const char* path);

/* The warnings of the last set or read_file call ("" when none). */
VARNEL_C_API const char* varnel_options_message(const varnel_options* options);

/* Processes a document given as `length` bytes; `options` may be null for
 * the defaults. */
VARNEL_C_API varnel_result* varnel_process(const varnel_options* options, const char* document,
                                           size_t length);

/* Processes a file (and writes it back with "write-back: yes"). */
VARNEL_C_API varnel_result* varnel_process_file(const varnel_options* options, const char* path);

VARNEL_C_API void varnel_result_free(varnel_result* result);

/* The document as written, and everything printed about it; `length`
 * (when not null) receives the number of bytes. */
VARNEL_C_API const char* varnel_result_output(const varnel_result* result, size_t* length);
VARNEL_C_API const char* varnel_result_report(const varnel_result* result, size_t* length);

/* The diagnostics: their number, and the text of one (null past the end)
 * with its line, column and severity. */
VARNEL_C_API size_t varnel_result_diagnostic_count(const varnel_result* result);
VARNEL_C_API const char* varnel_result_diagnostic(const varnel_result* result, size_t index,
                                                  unsigned* line, unsigned* column, int* severity);

VARNEL_C_API unsigned varnel_result_warnings(const varnel_result* result);
VARNEL_C_API unsigned varnel_result_errors(const varnel_result* result);
/* The exit status the program would give: 0, 1 or 2. */
VARNEL_C_API int varnel_result_status(const varnel_result* result);

/* The release date the program's version text shows. */
VARNEL_C_API const char* varnel_version(void);

#ifdef __cplusplus
}
#endif

#endif
