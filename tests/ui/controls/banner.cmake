# The animated banner: still pictures, disposal, stopping, reloading while animating, glyph commands.
if(TARGET vantora_controls)
  vantora_add_test(NAME TestCPictureEx TIER ui QTEST THREADED
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestCPictureEx.cpp
                   LIBS vantora_controls)
  # Reloading while animating, driven from main so that ThreadSanitizer sees the GUI side too.
  vantora_add_test(NAME BannerReloadRace TIER ui QTEST THREADED
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/BannerReloadRace.cpp
                   LIBS vantora_controls)
  # The crafted GIFs come from the walker tests' writer.
  foreach(test TestCPictureEx BannerReloadRace)
    target_include_directories(${test} PRIVATE ${PROJECT_SOURCE_DIR}/tests/unit/controls)
  endforeach()
endif()
