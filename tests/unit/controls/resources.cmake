# Compiled-in resources, the two image routes and the licence text.
vantora_add_test(NAME test_resources TIER unit
                 SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestResources.cpp
                 LIBS vantora_controls)
