# The layer check itself: on a copy of the tree with faults planted (an include upwards in quotes
# and one in angle brackets, a link upwards, a second library in one folder), it must fail and
# name each.
#   cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P tests/check_layers_refuses.cmake
file(REMOVE_RECURSE ${WORK_DIR})
include(${SOURCE_DIR}/tests/layers.cmake)
foreach(layer IN LISTS linnet_layers)
    get_filename_component(parent ${WORK_DIR}/${layer} DIRECTORY)
    file(COPY ${SOURCE_DIR}/${layer} DESTINATION ${parent})
endforeach()
file(COPY ${SOURCE_DIR}/CMakeLists.txt DESTINATION ${WORK_DIR})
file(COPY ${SOURCE_DIR}/tests/layers.cmake DESTINATION ${WORK_DIR}/tests)
file(APPEND ${WORK_DIR}/ui/echo.h "#include \"main_window/form1.h\"\n")
file(APPEND ${WORK_DIR}/devices/serial_device.h "#include <port/port_control.h>\n")
file(APPEND ${WORK_DIR}/port/CMakeLists.txt "add_library(linnet_second STATIC extra.cpp)\n")
file(WRITE ${WORK_DIR}/links.txt "linnet_ui linnet_port\nlinnet_port linnet_main_window\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR}
                        -DLINKS_FILE=${WORK_DIR}/links.txt
                        -P ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake
                RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_VARIABLE output)
file(REMOVE_RECURSE ${WORK_DIR})
if(result EQUAL 0)
    message(FATAL_ERROR "the layer check passed a tree with faults planted")
endif()
foreach(expected "ui/echo.h includes main_window/form1.h"
                 "devices/serial_device.h includes port/port_control.h"
                 "linnet_port links linnet_main_window" "port/ makes 2 libraries")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the layer check did not name: ${expected}\n${output}")
    endif()
endforeach()
# and nothing it should not: the link the table allows
string(FIND "${output}" "linnet_ui links linnet_port" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the layer check refused an allowed link\n${output}")
endif()
