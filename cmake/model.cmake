# The reference-model test runs inside the unit-test executable: one process for both, and the
# same plug-in library and simulated platform.
target_sources(kestrune_unit_tests PRIVATE
  ${PROJECT_SOURCE_DIR}/tests/model/reference_model.cpp
  ${PROJECT_SOURCE_DIR}/tests/model/model_test.cpp
)
