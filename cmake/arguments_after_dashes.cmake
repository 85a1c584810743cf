# kestrune_arguments_after_dashes(<variable>): in a script run with cmake -P, the arguments
# after "--", which cmake itself leaves alone.
macro(kestrune_arguments_after_dashes variable)
  set(${variable} "")
  set(kestrune_collecting FALSE)
  math(EXPR kestrune_last "${CMAKE_ARGC} - 1")
  foreach(kestrune_i RANGE ${kestrune_last})
    if(kestrune_collecting)
      list(APPEND ${variable} "${CMAKE_ARGV${kestrune_i}}")
    elseif("${CMAKE_ARGV${kestrune_i}}" STREQUAL "--")
      set(kestrune_collecting TRUE)
    endif()
  endforeach()
endmacro()
