# ctest -P script: checks the installer's Windows image with pe-check.
#   cmake -DPE_INSPECT=<pe-check> -DIMAGE=<setup.exe> -P CheckSetupImage.cmake
# setup.exe is a GUI program (no console) that imports from kernel32,
# user32, shell32 and the C runtime msvcrt only: nothing that a bare Windows
# installation lacks.
execute_process(COMMAND ${PE_INSPECT} ${IMAGE} OUTPUT_VARIABLE report RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pe-check failed (${rc}):\n${report}")
endif()
message(STATUS "${report}")
if(NOT report MATCHES "subsystem: Windows GUI \\(2\\)")
  message(FATAL_ERROR "${IMAGE} is not a Windows GUI program")
endif()
string(REGEX MATCHALL "\n  [^ :]+\\.[dD][lL][lL]:" modules "${report}")
foreach(module ${modules})
  string(REGEX REPLACE "^\n  (.*):$" "\\1" module "${module}")
  string(TOLOWER "${module}" module)
  if(NOT module MATCHES "^(kernel32|user32|shell32|msvcrt)\\.dll$")
    message(FATAL_ERROR "${IMAGE} imports from ${module}")
  endif()
endforeach()
list(LENGTH modules count)
if(count EQUAL 0)
  message(FATAL_ERROR "no imports found in the report")
endif()
