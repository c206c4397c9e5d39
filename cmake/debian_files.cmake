# Run by CPack on the staged Debian package before it is packed: the manual
# page compressed, the copyright file in the machine-readable format and the
# changelog, as Debian's policy asks (the tar.gz keeps the plain files).
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr")
set(docs "${usr}/share/doc/quillpack")

# gzip -n: no name or time stamp, so the bytes depend on the page alone.
function(gzip_into source target)
  execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${target}"
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source}: ${failed}")
  endif()
endfunction()

set(page "${usr}/share/man/man1/quillpack.1")
gzip_into("${page}" "${page}.gz")
file(REMOVE "${page}")

gzip_into("${CPACK_QUILLPACK_SOURCE_DIR}/doc/changelog" "${docs}/changelog.gz")

# The licence text below its heading, each line indented, empty ones as " .".
file(READ "${CPACK_QUILLPACK_SOURCE_DIR}/LICENSE" body)
string(FIND "${body}" "Copyright (c) " start)  # past the heading
string(SUBSTRING "${body}" ${start} -1 body)
string(REGEX REPLACE "\n+$" "" body "${body}")
string(REPLACE "\n" "\n " body " ${body}\n")
foreach(twice 1 2)  # an empty line between two others needs both passes
  string(REPLACE "\n \n" "\n .\n" body "${body}")
endforeach()
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${body}")
file(WRITE "${docs}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: quillpack

Files: *
Copyright: ${CMAKE_MATCH_1}
License: Expat
${body}")
