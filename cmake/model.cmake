# The reference-model test runs inside the unit-test executable: one process for both, and the
# same plug-in library and simulated platform. RapidCheck generates and shrinks its sessions.
# The model and its oracle are built once, for this test and the fuzzer's corpus replay.
find_package(rapidcheck REQUIRED)
add_library(kestrune_model STATIC ${KESTRUNE_MODEL_SOURCES})
target_link_libraries(kestrune_model PUBLIC kestrune_sim_host kestrune_plugin)
target_sources(kestrune_unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/model/model_test.cpp)
target_link_libraries(kestrune_unit_tests PRIVATE kestrune_model rapidcheck)
