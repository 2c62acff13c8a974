# What `cmake --install` puts where: the program, its manual page and its
# bash completion (the library, its headers and its pkg-config file are
# installed where the library is built).
include(GNUInstallDirs)

install(TARGETS varnel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page goes in compressed, as man pages are shipped; without
# gzip it goes in as it is.
find_program(VARNEL_GZIP gzip)
if(VARNEL_GZIP)
  set(varnel_manual ${CMAKE_BINARY_DIR}/varnel.1.gz)
  add_custom_command(OUTPUT ${varnel_manual}
                     COMMAND ${VARNEL_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/varnel.1 > ${varnel_manual}
                     DEPENDS ${CMAKE_SOURCE_DIR}/varnel.1
                     COMMENT "Compressing the manual page"
                     VERBATIM)
  add_custom_target(varnel_manual ALL DEPENDS ${varnel_manual})
else()
  set(varnel_manual ${CMAKE_SOURCE_DIR}/varnel.1)
endif()
install(FILES ${varnel_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${CMAKE_SOURCE_DIR}/completion/varnel.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME varnel)
