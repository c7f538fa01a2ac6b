# Installs the framework for programs outside this tree (component "development"): the headers
# under include/corvane/, libcorvane.a and the song player's libvumo.a, a pkg-config file (corvane.pc) and a CMake package
# (find_package(Corvane) gives Corvane::corvane and
# Corvane::vumo), plus the guide and the example programs as
# documentation. Both package files find the prefix from where they are installed, so DESTDIR
# staging and `cmake --install --prefix` give working files.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(CORVANE_VERSION 0.1.0)
set(corvane_config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Corvane)
set(corvane_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(corvane_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane)

install(TARGETS corvane vumo ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/corvane.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane
  COMPONENT development)
foreach(folder runtime host graphics audio input vumo)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane
    COMPONENT development FILES_MATCHING PATTERN "*.h")
endforeach()

# A sanitizer build's library needs the sanitizer runtimes in every program linked with it.
set(corvane_link_options "")
if(CORVANE_SANITIZE)
  set(corvane_link_options "-fsanitize=address,undefined")
endif()

# pkg-config: the prefix relative to the .pc file's own directory.
file(RELATIVE_PATH corvane_pc_to_prefix /prefix/${corvane_pc_dir} /prefix)
string(REGEX REPLACE "/$" "" corvane_pc_to_prefix "${corvane_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvane.pc.in ${CMAKE_BINARY_DIR}/corvane.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/corvane.pc DESTINATION ${corvane_pc_dir} COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CorvaneConfig.cmake.in
  ${CMAKE_BINARY_DIR}/CorvaneConfig.cmake
  INSTALL_DESTINATION ${corvane_config_dir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_DATADIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CorvaneConfigVersion.cmake
  VERSION ${CORVANE_VERSION} COMPATIBILITY SameMinorVersion
  ARCH_INDEPENDENT)  # the one package serves the native build (64-bit) and the browser's (32-bit)
install(FILES ${CMAKE_BINARY_DIR}/CorvaneConfig.cmake ${CMAKE_BINARY_DIR}/CorvaneConfigVersion.cmake
  DESTINATION ${corvane_config_dir} COMPONENT development)

install(FILES ${PROJECT_SOURCE_DIR}/docs/FRAMEWORK.md DESTINATION ${corvane_doc_dir}
  COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${corvane_doc_dir}/examples
  COMPONENT development FILES_MATCHING PATTERN "*.cpp")
