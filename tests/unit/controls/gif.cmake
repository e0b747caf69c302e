# The GIF frame walker: crafted block sequences, truncations at every byte, the banner resource.
if(TARGET vantora_gif)
  vantora_add_test(NAME test_gif_walker TIER unit
                   SOURCES ${CMAKE_CURRENT_LIST_DIR}/GifFrameWalkerTest.cpp
                   LIBS vantora_gif)
  target_include_directories(test_gif_walker PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(test_gif_walker PRIVATE VANTORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
