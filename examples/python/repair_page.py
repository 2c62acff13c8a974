#!/usr/bin/env python3
"""Repairs a small page with the varnel library through its C interface
(ctypes) and shows what came of it: the exit status the program would
give, the counts, each report with its position, and the repaired page.

    python3 repair_page.py [path/to/libvarnel.so]
"""
import ctypes
import ctypes.util
import sys

path = sys.argv[1] if len(sys.argv) > 1 else ctypes.util.find_library("varnel")
lib = ctypes.CDLL(path)

lib.varnel_options_new.restype = ctypes.c_void_p
lib.varnel_options_free.argtypes = [ctypes.c_void_p]
lib.varnel_options_set.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p]
lib.varnel_options_set.restype = ctypes.c_int
lib.varnel_options_message.argtypes = [ctypes.c_void_p]
lib.varnel_options_message.restype = ctypes.c_char_p
lib.varnel_process.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t]
lib.varnel_process.restype = ctypes.c_void_p
lib.varnel_result_free.argtypes = [ctypes.c_void_p]
for name in ("varnel_result_output", "varnel_result_report"):
    getattr(lib, name).argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_size_t)]
    getattr(lib, name).restype = ctypes.POINTER(ctypes.c_char)
lib.varnel_result_diagnostic_count.argtypes = [ctypes.c_void_p]
lib.varnel_result_diagnostic_count.restype = ctypes.c_size_t
lib.varnel_result_diagnostic.argtypes = [
    ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_uint),
    ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_int)]
lib.varnel_result_diagnostic.restype = ctypes.c_char_p
for name in ("varnel_result_warnings", "varnel_result_errors"):
    getattr(lib, name).argtypes = [ctypes.c_void_p]
    getattr(lib, name).restype = ctypes.c_uint
lib.varnel_result_status.argtypes = [ctypes.c_void_p]
lib.varnel_result_status.restype = ctypes.c_int
VARNEL_ERROR = 1


def text(function, result):
    """The bytes of a string the result holds, decoded."""
    length = ctypes.c_size_t()
    data = function(result, ctypes.byref(length))
    return ctypes.string_at(data, length.value).decode("utf-8")


options = lib.varnel_options_new()
for name, value in (("doctype", "omit"), ("varnel-mark", "no"), ("quiet", "yes")):
    lib.varnel_options_set(options, name.encode(), value.encode())
# A name the program does not know is refused, with its warning.
if lib.varnel_options_set(options, b"colour", b"red") != 0:
    print("option refused:", lib.varnel_options_message(options).decode())

page = b"<title>Menu</title>\n<p>caf&eacute au lait\n"
result = lib.varnel_process(options, page, len(page))
print("status %d: %d warnings/errors, %d errors" % (
    lib.varnel_result_status(result), lib.varnel_result_warnings(result),
    lib.varnel_result_errors(result)))
line, column, severity = ctypes.c_uint(), ctypes.c_uint(), ctypes.c_int()
for i in range(lib.varnel_result_diagnostic_count(result)):
    message = lib.varnel_result_diagnostic(result, i, ctypes.byref(line), ctypes.byref(column),
                                           ctypes.byref(severity))
    print("line %d, column %d (%s): %s" % (
        line.value, column.value, "error" if severity.value == VARNEL_ERROR else "warning",
        message.decode()))
sys.stdout.write("--- report\n" + text(lib.varnel_result_report, result))
sys.stdout.write("--- page\n" + text(lib.varnel_result_output, result))
lib.varnel_result_free(result)
lib.varnel_options_free(options)
