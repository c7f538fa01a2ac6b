# Install rules of the intro, its tools, their data and documentation: the "program" component
# (`cmake --install BUILD --component program`; the Debian package holds exactly this component).
#
#   PREFIX/lib/brackenfold-intro/   the programs and data/ together: they find data/ beside their
#                                   own file (/proc/self/exe), so they must stay side by side
#   PREFIX/bin/NAME                 relative symbolic links to those programs
#   PREFIX/share/man/manN/          the man pages built from docs/man/*.scd
#   PREFIX/share/applications/, share/icons/hicolor/SIZExSIZE/apps/, share/metainfo/
#                                   the desktop entry, its icons and its AppStream metadata
#
# Included from the root CMakeLists.txt after every target (and docs/) is defined.
include_guard(GLOBAL)
if(EMSCRIPTEN)
  return()  # the web build is served, not installed
endif()

set(BRACKENFOLD_INSTALL_COMPONENT program)
set(BRACKENFOLD_APP_DIR lib/brackenfold-intro)

# Every program that goes beside data/ with a link on the PATH. A new tool is one more name here
# (and its man page one more docs/man/*.scd).
set(BRACKENFOLD_INSTALLED_PROGRAMS
  brackenfold-intro
  vumo-compile
  vumo-decompile
  vumo-play
  vumo-trace
  vumo-render
  brackenfold-capture
)

# The links are made in the build tree and installed as links (install(FILES) keeps a symbolic
# link a link), so DESTDIR and the listing of installed files work for them as for any file.
set(link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_dir})
file(RELATIVE_PATH link_target /prefix/bin /prefix/${BRACKENFOLD_APP_DIR})
foreach(program ${BRACKENFOLD_INSTALLED_PROGRAMS})
  install(TARGETS ${program} RUNTIME DESTINATION ${BRACKENFOLD_APP_DIR}
    COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
  file(CREATE_LINK ${link_target}/${program} ${link_dir}/${program} SYMBOLIC)
  install(FILES ${link_dir}/${program} DESTINATION bin COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${BRACKENFOLD_APP_DIR}/data
  COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})

foreach(page ${BRACKENFOLD_MAN_PAGES})
  string(REGEX MATCH "[0-9]+$" section ${page})
  install(FILES ${page} DESTINATION share/man/man${section} COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
endforeach()

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${packaging}/brackenfold-intro.desktop DESTINATION share/applications
  COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
install(FILES ${packaging}/org.brackenfold.intro01.metainfo.xml DESTINATION share/metainfo
  COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
foreach(size 48 128 256)
  install(FILES ${packaging}/icons/brackenfold-intro-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME brackenfold-intro.png
    COMPONENT ${BRACKENFOLD_INSTALL_COMPONENT})
endforeach()
