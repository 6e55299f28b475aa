# The main window's commands on a large list, and "保存" against the bare
# rebuild. Its own folder keeps its settings file and Path_bak to itself.
add_executable(commands_bench ${CMAKE_CURRENT_SOURCE_DIR}/commands_bench.cpp)
target_link_libraries(commands_bench PRIVATE bm_app)
set_target_properties(commands_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/commands_bench.d)
