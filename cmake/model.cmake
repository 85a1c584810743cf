# The reference-model test runs inside the unit-test executable: one process for both, and the
# same plug-in library and simulated platform. RapidCheck generates and shrinks its sessions.
find_package(rapidcheck REQUIRED)
target_sources(kestrune_unit_tests PRIVATE ${KESTRUNE_MODEL_SOURCES}
  ${PROJECT_SOURCE_DIR}/tests/model/model_test.cpp)
target_link_libraries(kestrune_unit_tests PRIVATE rapidcheck)
