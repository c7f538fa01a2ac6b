# A program for the browser (emscripten builds only): the program as TARGET.js and .wasm, its data
# packaged as TARGET.data, and its page (web/page.html.in filled in) as index.html, all in
# DIRECTORY (default: the build folder). The page is the same for every program; TITLE is its title,
# HELP the key help under the canvas, ENDED what it says when the program has ended.
#
# DATA lists the files and folders under data/ that the program loads (the whole data/ when
# empty). They are packaged as /app/data, beside the program file /app/<name>
# (host/platform_web.cpp), so that "corvane://data/" resolves as it does on Linux.
#
#   corvane_web_program(example-hello DIRECTORY ${CMAKE_BINARY_DIR}/examples/hello
#     TITLE "hello" HELP "ESCAPE: quit" ENDED "The program has ended" DATA vulo_font.png fonti.png)
#
# Installed, find_package(Corvane) includes this file in an emscripten build, with the installed
# page template; DATA then names files of the program's own data/ folder (beside its
# CMakeLists.txt).
if(NOT CORVANE_WEB_PAGE_TEMPLATE)
  set(CORVANE_WEB_PAGE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../web/page.html.in)
endif()

function(corvane_web_program target)
  cmake_parse_arguments(PARSE_ARGV 1 WEB "" "DIRECTORY;TITLE;HELP;ENDED" "DATA")
  if(NOT WEB_DIRECTORY)
    set(WEB_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
  set_target_properties(${target} PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${WEB_DIRECTORY})
  target_link_options(${target} PRIVATE -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)

  set(data_dir ${PROJECT_SOURCE_DIR}/data)
  set(packaged "")
  if(NOT WEB_DATA)
    target_link_options(${target} PRIVATE "SHELL:--preload-file ${data_dir}@/app/data")
    file(GLOB_RECURSE packaged CONFIGURE_DEPENDS ${data_dir}/*)
  endif()
  foreach(item IN LISTS WEB_DATA)
    if(NOT EXISTS ${data_dir}/${item})
      message(FATAL_ERROR "corvane_web_program(${target}): data/${item} does not exist")
    endif()
    target_link_options(${target} PRIVATE "SHELL:--preload-file ${data_dir}/${item}@/app/data/${item}")
    if(IS_DIRECTORY ${data_dir}/${item})
      file(GLOB_RECURSE files CONFIGURE_DEPENDS ${data_dir}/${item}/*)
      list(APPEND packaged ${files})
    else()
      list(APPEND packaged ${data_dir}/${item})
    endif()
  endforeach()
  # A changed data file packages the program again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${packaged})

  set(PAGE_TITLE ${WEB_TITLE})
  set(PAGE_HELP ${WEB_HELP})
  set(PAGE_ENDED ${WEB_ENDED})
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(PAGE_SCRIPT ${output_name}.js)
  configure_file(${CORVANE_WEB_PAGE_TEMPLATE} ${WEB_DIRECTORY}/index.html @ONLY)
endfunction()
