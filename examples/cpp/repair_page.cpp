// Repairs a small page with the varnel library and shows what came of it:
// the exit status the program would give, the counts, each report with its
// position, and the repaired page.
//
//     c++ -std=c++20 repair_page.cpp $(pkg-config --cflags --libs varnel)
#include <varnel/varnel.h>

#include <iostream>
#include <string>

int main() {
    varnel::Options options;
    options.set("doctype", "omit");
    options.set("varnel-mark", "no");
    options.set("quiet", "yes");
    // A name the program does not know is refused, with its warning.
    std::string message;
    if (!options.set("colour", "red", &message)) std::cout << "option refused: " << message << "\n";

    const varnel::Result result =
        varnel::process("<title>Menu</title>\n<p>caf&eacute au lait\n", options);

    std::cout << "status " << result.status << ": " << result.warnings << " warnings/errors, "
              << result.errors << " errors\n";
    for (const varnel::Diagnostic& d : result.diagnostics) {
        std::cout << "line " << d.line << ", column " << d.column << " ("
                  << (d.severity == varnel::Severity::Error ? "error" : "warning")
                  << "): " << d.text << "\n";
    }
    std::cout << "--- report\n" << result.report << "--- page\n" << result.output;
    return 0;
}
