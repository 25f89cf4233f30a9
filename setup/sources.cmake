# The installer's sources, shared by setup.exe for Windows and the
# simulated PC's build of the program.
set(VEXLOR_SETUP_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/win_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_flow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/driver_version.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/joined_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nt4_installation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inf_installation.cpp)
# What the package holds beside setup.exe and vexlor.sys.
set(VEXLOR_SETUP_DATA_FILES
  ${CMAKE_CURRENT_LIST_DIR}/reg.ini
  ${CMAKE_CURRENT_LIST_DIR}/vexlor.inf)
