# Image static, progress bar, folder field and licence window (real widgets, offscreen).
vantora_add_test(NAME TestPngStatic TIER ui QTEST
                 SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestPngStatic.cpp LIBS vantora_controls)
vantora_add_test(NAME TestMyProgressCtrl TIER ui QTEST THREADED
                 SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestMyProgressCtrl.cpp LIBS vantora_controls)
vantora_add_test(NAME TestMyEditBrowseCtrl TIER ui QTEST
                 SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestMyEditBrowseCtrl.cpp LIBS vantora_controls)
vantora_add_test(NAME TestDialogP TIER ui QTEST
                 SOURCES ${CMAKE_CURRENT_LIST_DIR}/TestDialogP.cpp LIBS vantora_controls)
