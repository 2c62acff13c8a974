# Profile-guided optimization of the program (GCC, Release builds).
#
# A run of varnel goes through a few hundred small routines per token, and
# no single one dominates; what helps across all of them is telling the
# compiler which branches are taken and which calls are hot. So a Release
# build first builds an instrumented copy of the program (in pgo/build/,
# through a nested build of this same tree), runs it over the golden cases
# and over generated tag soup and prose (tools/pgo_train.sh), and then
# compiles the library and the program with the counts it wrote
# (pgo/profile/). The profile changes no behaviour: the unit tests and
# golden cases run on these objects. Only bundled inputs train it, so the
# same tree always gives the same program.
#
# -DVARNEL_PGO=OFF builds in one pass (quicker while editing: with the
# profile on, every edit retrains and rebuilds every object).
option(VARNEL_PGO "Optimize the program with a profile of its own runs (GCC Release builds)" ON)
# Set by the outer build for the nested, instrumented one: where its runs
# write their counts.
set(VARNEL_PGO_GENERATE "" CACHE PATH "Build instrumented, writing the profile into this directory")

set(varnel_pgo_targets varnel_objects varnel_cli varnel)
# Object files are named by their path under the build tree, which is the
# same in the nested build and the outer one.
set(varnel_pgo_prefix -fprofile-prefix-path=${CMAKE_BINARY_DIR})

# Link-time optimization goes with the profile. The hot paths cross
# modules (the lexer calls the record routines of the tree, the printer
# those of the output stream), and with the counts the whole program's
# inliner takes the hot calls. On real pages that is 3% fewer instructions
# and 8% less CPU time (the program is smaller, and starting it touches
# fewer pages); on the benchmark's soup and prose, 3 to 4% fewer
# instructions. Without a profile it made the program slower (14% more
# instructions: the growth limits of the inliner then count the whole
# program). The objects keep their machine code as well
# (fat), so that libvarnel.a, libvarnel.so and the tests link without it.
set(varnel_lto_options -flto=auto -ffat-lto-objects)
macro(varnel_optimize_at_link_time)
  foreach(target ${varnel_pgo_targets})
    target_compile_options(${target} PRIVATE ${varnel_lto_options})
  endforeach()
  target_link_options(varnel PRIVATE -flto=auto)
  set(varnel_lto_objects ON)
endmacro()

if(VARNEL_PGO_GENERATE)
  varnel_optimize_at_link_time()
  foreach(target ${varnel_pgo_targets})
    target_compile_options(${target} PRIVATE -fprofile-generate=${VARNEL_PGO_GENERATE}
                           ${varnel_pgo_prefix} -fprofile-update=prefer-atomic)
  endforeach()
  target_link_options(varnel PRIVATE -fprofile-generate=${VARNEL_PGO_GENERATE})
elseif(VARNEL_PGO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT VARNEL_SANITIZE
       AND CMAKE_BUILD_TYPE STREQUAL "Release")
  include(ExternalProject)
  set(varnel_profiled ON)
  set(varnel_pgo_dir ${CMAKE_BINARY_DIR}/pgo)
  ExternalProject_Add(varnel_instrumented
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${varnel_pgo_dir}/build
    STAMP_DIR ${varnel_pgo_dir}/stamp
    TMP_DIR ${varnel_pgo_dir}/tmp
    # The same compiler and flags: the counts fit the code they were taken
    # from.
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
               -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS} -DCMAKE_CXX_FLAGS_RELEASE=${CMAKE_CXX_FLAGS_RELEASE}
               -DVARNEL_TESTS=OFF -DVARNEL_PGO=OFF -DVARNEL_STATIC_PROGRAM=${VARNEL_STATIC_PROGRAM}
               -DVARNEL_PGO_GENERATE=${varnel_pgo_dir}/profile
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${varnel_pgo_dir}/build/varnel)

  # The generators of the benchmark's tag soup and prose give the training
  # runs large pages of both shapes.
  add_executable(gen_soup bench/gen_soup.cpp)
  add_executable(gen_prose bench/gen_prose.cpp)
  add_custom_command(
    OUTPUT ${varnel_pgo_dir}/trained
    COMMAND bash ${CMAKE_SOURCE_DIR}/tools/pgo_train.sh ${varnel_pgo_dir}/build/varnel
            ${varnel_pgo_dir}/profile ${CMAKE_SOURCE_DIR} $<TARGET_FILE:gen_soup>
            $<TARGET_FILE:gen_prose>
    COMMAND ${CMAKE_COMMAND} -E touch ${varnel_pgo_dir}/trained
    DEPENDS ${varnel_pgo_dir}/build/varnel gen_soup gen_prose ${CMAKE_SOURCE_DIR}/tools/pgo_train.sh
    COMMENT "Training the program for profile-guided optimization"
    VERBATIM)
  add_custom_target(varnel_profile DEPENDS ${varnel_pgo_dir}/trained)
  add_dependencies(varnel_profile varnel_instrumented)

  varnel_optimize_at_link_time()
  foreach(target ${varnel_pgo_targets})
    add_dependencies(${target} varnel_profile)
    # Functions no training run reached are optimized for size: the golden
    # cases reach every option's code, so what is left is mostly error
    # handling. (With -fprofile-partial-training, which optimizes them for
    # speed, the program was twice the size and 1% slower on real pages.)
    target_compile_options(${target} PRIVATE -fprofile-use=${varnel_pgo_dir}/profile
                           ${varnel_pgo_prefix} -Wno-missing-profile)
    get_target_property(sources ${target} SOURCES)
    set_source_files_properties(${sources} PROPERTIES OBJECT_DEPENDS
                                ${varnel_pgo_dir}/trained)
  endforeach()
endif()
