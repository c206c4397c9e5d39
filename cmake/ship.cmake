# What an install and the packages hold: the program, its manual page and
# its documents; on Windows a flat zip of the program beside its documents.
#   cmake --install build --prefix DIR     make install PREFIX=DIR
#   cmake --build build --target package   make package, make package-windows
include(GNUInstallDirs)

# The manual page takes the version from the project.
configure_file(${CMAKE_SOURCE_DIR}/doc/quillpack.1.in
  ${CMAKE_BINARY_DIR}/quillpack.1 @ONLY)

set(CPACK_PACKAGE_NAME quillpack)
set(CPACK_PACKAGE_VENDOR "the quillpack developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "packs separate e-mail files into mbox files")
set(CPACK_PACKAGE_DESCRIPTION "\
quillpack packs e-mail files that hold one message each, such as .eml
files, into mbox files: one per source folder, or one for a whole tree.
It never changes a source file and reports every error it meets.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # Windows readers expect CR LF; the files keep their LF form in the
  # repository.
  set(windows_docs)
  foreach(pair README.md:README.txt LICENSE:LICENSE.txt
               doc/quillpack.ini:quillpack.ini.example)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 source)
    list(GET pair 1 name)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}
      COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/${source}
              -DOUT=${CMAKE_BINARY_DIR}/${name}
              -P ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${CMAKE_SOURCE_DIR}/${source} ${CMAKE_SOURCE_DIR}/cmake/crlf.cmake
      VERBATIM)
    list(APPEND windows_docs ${CMAKE_BINARY_DIR}/${name})
  endforeach()
  add_custom_target(windows_docs ALL DEPENDS ${windows_docs})

  install(TARGETS quillpack RUNTIME DESTINATION .)
  install(FILES ${windows_docs} DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME quillpack-${PROJECT_VERSION}-win64)
  # Unpacked by "Extract All", which makes the folder itself.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  install(TARGETS quillpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/quillpack.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
                ${CMAKE_SOURCE_DIR}/doc/quillpack.ini
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # uninstall removes the files the last real install from this build
  # wrote, as save_manifest.cmake lists them (not install_manifest.txt,
  # which omits DESTDIR and which every package build rewrites).
  install(CODE "set(quillpack_build_dir [[${CMAKE_BINARY_DIR}]])")
  install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/save_manifest.cmake)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND}
            -DMANIFEST=${CMAKE_BINARY_DIR}/installed_files.txt
            -P ${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake
    VERBATIM)

  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # The dependencies are those of the binary: libc and libstdc++.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Debian wants a contact: set QUILLPACK_MAINTAINER to the address of
  # whoever builds the package.
  set(QUILLPACK_MAINTAINER
    "the quillpack developers <quillpack@example.org>" CACHE STRING
    "The maintainer of the Debian package, name <e-mail>")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLPACK_MAINTAINER}")
  # The manual page compressed, the copyright file and the changelog.
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_project.cmake)
  set(CPACK_QUILLPACK_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_DEBIAN_PACKAGE_SECTION mail)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
endif()

include(CPack)

if(QUILLPACK_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME manual_page.lint
    COMMAND sh ${CMAKE_SOURCE_DIR}/tests/lint_manual_page.sh
            ${CMAKE_BINARY_DIR}/quillpack.1)
endif()
