# The release package, kestrune-<version>-windows-x64.zip, which scripts/release.sh makes with
# CPack: both DLLs, the field probe, the user guide, the licence, the changelog and SHA256SUMS over
# all of them.
# The diagnostic DLL keeps its file name in a folder of its own, so that copying either variant
# into Velmar's plug-in folder replaces the other.
install(FILES $<TARGET_FILE:kestrune> DESTINATION .)
install(FILES $<TARGET_FILE:kestrune_diagnostic> DESTINATION diagnostic)
install(FILES $<TARGET_FILE:kestrune-probe> DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION .)

# The user guide is its own file, docs/user-guide.md, as plain text with the version on top.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/docs/user-guide.md\" guide)
  string(STRIP \"\${guide}\" guide)
  file(WRITE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/USER-GUIDE.txt\"
    \"Kestrune ${KESTRUNE_VERSION_TEXT}\\n\\n\${guide}\\n\")
")

# Last, so that it covers every other file; the format of sha256sum -c.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE \"\${root}\" \"\${root}/*\")
  list(REMOVE_ITEM files SHA256SUMS)
  list(SORT files)
  set(sums \"\")
  foreach(file IN LISTS files)
    file(SHA256 \"\${root}/\${file}\" hash)
    string(APPEND sums \"\${hash}  \${file}\\n\")
  endforeach()
  file(WRITE \"\${root}/SHA256SUMS\" \"\${sums}\")
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "the Kestrune developers")
set(CPACK_PACKAGE_VERSION ${KESTRUNE_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME kestrune-${KESTRUNE_VERSION_TEXT}-windows-x64)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_KESTRUNE_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/normalise_package.cmake)
include(CPack)
