# The library's dynamic symbol table holds exactly the thirteen SDKUsb entry
# points the host library binds, and nothing of the cable's client.
#   -DNM=<nm> -DLIBRARY=<libBOM7300UsbCtrl.so>
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" symbol_lines "${symbols}")
set(exported)
foreach(line ${symbol_lines})
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  endif()
endforeach()
set(expected SDKUsb_Open SDKUsb_OpenEx SDKUsb_Close SDKUsb_GetDeviceHandle SDKUsb_GetDeviceName
    SDKUsb_GetDeviceIDString SDKUsb_GetPipeHandle SDKUsb_ClosePipe SDKUsb_AbortPipe SDKUsb_ResetPipe
    SDKUsb_CheckDeviceName SDKUsb_CheckDevice SDKUsb_ResetDevice)
list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports of ${LIBRARY}:\n  ${exported}\nexpected:\n  ${expected}")
endif()
