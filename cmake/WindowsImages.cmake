# From the host build: cross-build the Windows packages of both
# architectures in sub-builds (mingw-w64 toolchains), then check the images
# (format, subsystem, imports) and load the x64 driver on Wine.
include(ExternalProject)

foreach(arch x64 x86)
  if(arch STREQUAL "x64")
    set(triple x86_64)
  else()
    set(triple i686)
  endif()
  set(dir ${CMAKE_BINARY_DIR}/windows-${arch})
  ExternalProject_Add(windows_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-w64-${triple}.cmake
               -DCMAKE_BUILD_TYPE=Release
    CMAKE_GENERATOR Ninja
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${dir}/vexlor.sys ${dir}/lookup_dos_device.exe ${dir}/device_session.exe
                     ${dir}/setup.exe ${dir}/record_command_line.exe ${dir}/read_message_box.exe
                     ${dir}/version_stand_in.sys)
  add_test(NAME windows_image_${arch} COMMAND pe-check --driver ${arch} ${dir}/vexlor.sys)
  add_test(NAME windows_setup_image_${arch}
           COMMAND ${CMAKE_COMMAND} -DPE_INSPECT=$<TARGET_FILE:pe-check> -DIMAGE=${dir}/setup.exe
                   -P ${PROJECT_SOURCE_DIR}/cmake/CheckSetupImage.cmake)
endforeach()

add_test(NAME wine_driver_load
         COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run_wine_driver_test.sh
                 ${CMAKE_BINARY_DIR}/windows-x64/vexlor.sys
                 ${CMAKE_BINARY_DIR}/windows-x64/lookup_dos_device.exe
                 ${CMAKE_BINARY_DIR}/windows-x64/device_session.exe)
set_tests_properties(wine_driver_load PROPERTIES TIMEOUT 300 RUN_SERIAL ON)

# The installer of the x64 package on Wine, under a virtual X display: its
# message boxes read from their windows and answered with keys.
add_test(NAME wine_setup
         COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run_wine_setup_test.sh
                 ${CMAKE_BINARY_DIR}/windows-x64/vexlor-x64
                 ${CMAKE_BINARY_DIR}/windows-x64/record_command_line.exe
                 ${CMAKE_BINARY_DIR}/windows-x64/read_message_box.exe
                 ${CMAKE_BINARY_DIR}/windows-x64/version_stand_in.sys
                 ${CMAKE_BINARY_DIR}/wine-setup-screenshots)
set_tests_properties(wine_setup PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
