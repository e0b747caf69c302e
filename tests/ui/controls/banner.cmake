# The animated banner: still pictures, disposal, stopping, reloading while animating, glyph commands.
if(TARGET vantora_controls)
  vantora_add_test(NAME TestCPictureEx TIER ui QTEST THREADED
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCPictureEx.cpp
                   LIBS vantora_controls)
  # The crafted GIFs come from the walker tests' writer.
  target_include_directories(TestCPictureEx PRIVATE ${PROJECT_SOURCE_DIR}/tests/unit/controls)
endif()
