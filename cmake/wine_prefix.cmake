# Creates, starts or stops the build folder's Wine prefix
# (cmake -DACTION=create|start|stop -DWINE=... -DWINESERVER=... -DWINEPREFIX=... -P wine_prefix.cmake).
#
# Every descriptor of every Wine command here is redirected: the server and the services that
# wineboot starts outlive this script, and any pipe they inherited from ctest would keep ctest
# waiting for them.
set(ENV{WINEPREFIX} ${WINEPREFIX})
set(ENV{WINEDEBUG} -all)
# The winmm test double is for the tests alone; Wine's services must load the real library.
unset(ENV{WINEDLLOVERRIDES})

function(run_detached)
  execute_process(COMMAND ${ARGN} INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null
    RESULT_VARIABLE result)
  set(result ${result} PARENT_SCOPE)
endfunction()

# -k reports 1 whether or not it found a server to stop, so only the wait tells.
function(stop_server)
  run_detached(${WINESERVER} -k)
  run_detached(${WINESERVER} -w)
endfunction()

function(boot)
  run_detached(${WINE} wineboot)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "wineboot failed in ${WINEPREFIX} (${result})")
  endif()
endfunction()

# A new prefix, with no sound card and no display: without these drivers set, ALSA and the X11
# driver complain on every start. Wine's services read them when they start, so the server that
# created the prefix is stopped before anything else runs in it.
function(create_prefix)
  set(marker ${WINEPREFIX}/kestrune-drivers-set)
  if(EXISTS ${marker})
    return()
  endif()
  boot()
  file(WRITE ${WINEPREFIX}/kestrune-drivers.reg
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n\"Audio\"=\"\"\n\"Graphics\"=\"null\"\n")
  run_detached(${WINE} regedit /S ${WINEPREFIX}/kestrune-drivers.reg)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not set Wine's drivers in ${WINEPREFIX} (${result})")
  endif()
  stop_server()
  file(TOUCH ${marker})
endfunction()

if(ACTION STREQUAL "create")
  create_prefix()
elseif(ACTION STREQUAL "start")
  create_prefix()
  # A server left behind by an interrupted run would not be persistent, or would hold services
  # started with another run's descriptors.
  stop_server()
  run_detached(${WINESERVER} -p)
  boot()
elseif(ACTION STREQUAL "stop")
  stop_server()
else()
  message(FATAL_ERROR "ACTION must be create, start or stop")
endif()
