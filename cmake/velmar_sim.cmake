# velmar-sim, the host simulator. Its host side (record, transcript, scenarios, player) is the
# same in both worlds; only the world file that makes the plug-in callable differs: natively the
# plug-in linked in on the simulated platform, under Wine the real DLL.

set(VELMAR_SIM_SCENARIO_SOURCES
  ${PROJECT_SOURCE_DIR}/sim/device_events.cpp
  ${PROJECT_SOURCE_DIR}/sim/host_double.cpp
  ${PROJECT_SOURCE_DIR}/sim/scenario.cpp
  ${PROJECT_SOURCE_DIR}/sim/transcript.cpp
)

# Natively the plug-in and the simulated platform bring the interface classes and the notice
# builder; under Wine velmar-sim.exe has its own copies, as it loads the plug-in from its DLL.
if(WIN32)
  list(APPEND VELMAR_SIM_SCENARIO_SOURCES
    ${PROJECT_SOURCE_DIR}/monitor/interface_class.cpp
    ${PROJECT_SOURCE_DIR}/sim/device_notice.cpp)
endif()

set(VELMAR_SIM_HOST_SOURCES
  ${VELMAR_SIM_SCENARIO_SOURCES}
  ${PROJECT_SOURCE_DIR}/sim/default_session.cpp
  ${PROJECT_SOURCE_DIR}/sim/main.cpp
  ${PROJECT_SOURCE_DIR}/sim/player.cpp
)

# kestrune_add_velmar_sim(<target> <world sources>...): the host side plus one world. The caller
# links what the world needs.
function(kestrune_add_velmar_sim target)
  add_executable(${target} ${VELMAR_SIM_HOST_SOURCES} ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
