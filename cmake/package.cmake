# The release package (./trv dist): the three programs, the README for Windows users, the
# licence and a SHA-256 list, in trvueye-<version>-win64.zip. The simulated camera library is
# never installed, nor the DLL's import library (installed only when asked for by component).
install(TARGETS trvueye trvhost trvlog
        RUNTIME DESTINATION . COMPONENT runtime
        ARCHIVE DESTINATION lib COMPONENT devel EXCLUDE_FROM_ALL)

# Texts for Windows users get CRLF line ends.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/package/LICENSE.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt ${CMAKE_BINARY_DIR}/package/LICENSE.txt
        DESTINATION . COMPONENT runtime)

# Last of the install rules, so that it sees the stripped programs: one "hash  name" line per
# file, as sha256sum writes and checks them.
install(CODE [[
  set(dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  file(GLOB names RELATIVE "${dir}" "${dir}/*")
  list(REMOVE_ITEM names SHA256SUMS.txt)
  list(SORT names)
  set(sums "")
  foreach(name IN LISTS names)
    if(NOT IS_DIRECTORY "${dir}/${name}")
      file(SHA256 "${dir}/${name}" hash)
      string(APPEND sums "${hash}  ${name}\n")
    endif()
  endforeach()
  file(WRITE "${dir}/SHA256SUMS.txt" "${sums}")
]] COMPONENT runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${TRV_COMPANY})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
