# The explorer's site of this build's executables, build/<tree>/explore/:
# index.html and a page per program, what each build made of each source
# line (tools/explore).  Included by the top CMakeLists.txt after the
# manifest's target.  The site needs Capstone and Pygments (Debian:
# python3-capstone, python3-pygments) on SUITE_PYTHON, and valgrind for the
# executed counts (without it the pages say they were not measured); the
# sanitized builds get none, as valgrind cannot run them.
option(SUITE_EXPLORE "Write the explorer's site of the executables to explore/ (tools/explore)" ON)
if(SUITE_EXPLORE AND SUITE_MANIFEST AND NOT SUITE_PROGRAMS_DIR AND NOT SUITE_SANITIZE)
  execute_process(COMMAND ${SUITE_PYTHON} -c "import capstone, pygments"
                  RESULT_VARIABLE no_explorer OUTPUT_QUIET ERROR_QUIET)
  if(no_explorer)
    message(STATUS "tools/explore needs python3-capstone and python3-pygments: no explore target")
  else()
    set(SUITE_EXPLORE_DIR ${CMAKE_BINARY_DIR}/explore)
    file(GLOB explore_code CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/engine/*.py
         ${CMAKE_SOURCE_DIR}/tools/engine/explore_page/*)
    file(GLOB explore_samples CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/samples/*.in)
    add_custom_command(OUTPUT ${SUITE_EXPLORE_DIR}/index.html
      COMMAND ${SUITE_PYTHON} ${CMAKE_SOURCE_DIR}/tools/explore ${SUITE_BIN_DIR} --output ${SUITE_EXPLORE_DIR} --quiet
      DEPENDS ${SUITE_EXECUTABLES} ${SUITE_BIN_DIR}/manifest.jsonl ${CMAKE_SOURCE_DIR}/tools/explore
              ${explore_code} ${explore_samples}
      COMMENT "Writing the explorer's site to ${SUITE_EXPLORE_DIR}"
      VERBATIM)
    add_custom_target(explore ALL DEPENDS ${SUITE_EXPLORE_DIR}/index.html)
    add_dependencies(explore manifest)
  endif()
endif()
