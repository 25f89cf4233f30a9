# The driver's sources, shared by the simulated-PC image and the Windows images.
set(VEXLOR_DRIVER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/driver_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open_close.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/arbitration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/register_access.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eeprom.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stream_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/acquisition.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lor_trace.cpp)
