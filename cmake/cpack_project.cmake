# Read by CPack once for each package it makes: the Debian package alone
# gets the files of a Debian system (see debian_files.cmake).
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PRE_BUILD_SCRIPTS ${CPACK_QUILLPACK_SOURCE_DIR}/cmake/debian_files.cmake)
endif()
