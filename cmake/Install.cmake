# What `cmake --install` puts in place: the program, its menu entry and its icon.
include(GNUInstallDirs)
if(CMT_BUILD_UI)
  install(TARGETS cmt2300-config RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_subdirectory(data)
endif()
