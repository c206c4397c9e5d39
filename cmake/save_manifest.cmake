# Run by the install, after every file is in place: saves the list of the
# files it wrote as installed_files.txt in the build, for uninstall.cmake.
# CMake's own manifest leaves DESTDIR out (it lists where the files will be
# used, not where they were written), and CPack's staging of a package in the
# build rewrites it; neither may steer what uninstall removes.
set(written)
foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  list(APPEND written "$ENV{DESTDIR}${file}")
endforeach()
if(NOT written)
  return()  # a component with nothing to install
endif()
list(GET written 0 first)
string(FIND "${first}" "${quillpack_build_dir}/_CPack_Packages/" at)
if(NOT at EQUAL 0)
  string(REPLACE ";" "\n" files "${written}")
  file(WRITE "${quillpack_build_dir}/installed_files.txt" "${files}\n")
endif()
