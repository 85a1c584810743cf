# The version shown by each DLL, from project()'s one number. A build from a tree with
# uncommitted changes is marked so in its version text and flagged as a private build, so that
# such a DLL cannot pass for the release (scripts/release.sh sets the suffix).
set(KESTRUNE_VERSION_SUFFIX "" CACHE STRING
  "Appended to the version text of a build that is not the release, e.g. -modified")
set(KESTRUNE_VERSION_TEXT "${PROJECT_VERSION}${KESTRUNE_VERSION_SUFFIX}")

# kestrune_version_resource(<target> <diagnostic>): configures the target's .rc file and adds it
# to its sources; mingw's CMake support compiles it with windres.
function(kestrune_version_resource target diagnostic)
  set(flags "")
  set(KESTRUNE_RC_EXTRA_STRINGS "")
  set(KESTRUNE_RC_DESCRIPTION "Kestrune: resets Velmar's MIDI devices when MIDI hardware comes or goes")
  if(diagnostic)
    list(APPEND flags VS_FF_SPECIALBUILD)
    string(APPEND KESTRUNE_RC_DESCRIPTION " (diagnostic variant)")
    string(APPEND KESTRUNE_RC_EXTRA_STRINGS
      "      VALUE \"SpecialBuild\", \"Diagnostic variant: writes every step of its work to Velmar's console\"\n")
  endif()
  if(NOT KESTRUNE_VERSION_SUFFIX STREQUAL "")
    list(APPEND flags VS_FF_PRIVATEBUILD)
    string(APPEND KESTRUNE_RC_EXTRA_STRINGS
      "      VALUE \"PrivateBuild\", \"Built from a tree with uncommitted changes\"\n")
  endif()
  if(flags)
    list(JOIN flags " | " KESTRUNE_RC_FILEFLAGS)
  else()
    set(KESTRUNE_RC_FILEFLAGS 0)
  endif()
  set(rc_file ${CMAKE_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrune.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
endfunction()
