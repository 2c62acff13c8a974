# Tests of what a user reads and installs: the manual page and the bash
# completion against the program's option and switch tables, every command
# of examples/README.md, and the install rules and Debian package.
add_test(NAME docs/manual
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/docs/manual.py
                 $<TARGET_FILE:varnel> ${CMAKE_SOURCE_DIR})
add_test(NAME docs/completion
         COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/docs/completion.py
                 $<TARGET_FILE:varnel> ${CMAKE_SOURCE_DIR}/completion/varnel.bash ${CMAKE_SOURCE_DIR})
add_test(NAME docs/examples
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/examples.sh $<TARGET_FILE:varnel> ${CMAKE_SOURCE_DIR})
add_test(NAME docs/package
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/package.sh ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(docs/manual docs/completion docs/examples docs/package PROPERTIES LABELS docs)
set_tests_properties(docs/package PROPERTIES TIMEOUT 300)
