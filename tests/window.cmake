if(TARGET trilette_window)
  trilette_test(tst_window tst_window.cpp)
  target_link_libraries(tst_window PRIVATE trilette_window Qt5::Widgets)
endif()
