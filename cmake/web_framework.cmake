# The framework built for the browser, installed with the native one (component "development") so
# that a program outside this tree builds its page against the installed framework:
#
#   emcmake cmake -S . -B build-web -DCMAKE_PREFIX_PATH=PREFIX && cmake --build build-web
#
# The native build builds it with emscripten (when emcmake is found) in BUILD/web-framework/ and
# installs:
#   PREFIX/lib/corvane/web/libcorvane.a            the library built with emcc
#   PREFIX/share/corvane/web/page.html.in          the page template
#   PREFIX/lib/cmake/Corvane/CorvaneWebProgram.cmake  corvane_web_program(), which find_package(Corvane)
#                                                  includes in an emscripten build
# The headers are the native ones: what differs between the platforms is inside the library.
include_guard(GLOBAL)
if(EMSCRIPTEN)
  return()
endif()

find_program(CORVANE_EMCMAKE emcmake)
set(web_default OFF)
if(CORVANE_EMCMAKE AND NOT CORVANE_SANITIZE)
  set(web_default ON)
endif()
option(CORVANE_WEB_FRAMEWORK "Build the framework for the browser too and install it (needs emscripten)"
  ${web_default})
if(NOT CORVANE_WEB_FRAMEWORK)
  return()
endif()
if(NOT CORVANE_EMCMAKE)
  message(FATAL_ERROR "CORVANE_WEB_FRAMEWORK needs emscripten's emcmake")
endif()

include(ExternalProject)
set(web_framework_dir ${CMAKE_BINARY_DIR}/web-framework)
# Make's own $(MAKE) shares the outer build's job slots.
if(CMAKE_GENERATOR MATCHES "Make")
  set(web_build_command $(MAKE) corvane)
else()
  set(web_build_command ${CMAKE_COMMAND} --build ${web_framework_dir} --target corvane)
endif()
ExternalProject_Add(corvane_web_framework
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${web_framework_dir}
  # emscripten's tools load Debian's JavaScript modules (acorn) from /usr/share/nodejs.
  CONFIGURE_COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs
    ${CORVANE_EMCMAKE} ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${web_framework_dir}
    -DCMAKE_BUILD_TYPE=Release
  BUILD_COMMAND ${web_build_command}
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${web_framework_dir}/libcorvane.a
  INSTALL_COMMAND ""
  EXCLUDE_FROM_ALL OFF)

install(FILES ${web_framework_dir}/libcorvane.a DESTINATION ${CMAKE_INSTALL_LIBDIR}/corvane/web
  COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/web/page.html.in DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane/web
  COMPONENT development)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/web_program.cmake DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvane
  RENAME CorvaneWebProgram.cmake COMPONENT development)
