# The layer check itself: on a copy of the tree with an include upwards and a second library in
# one folder planted, it must fail and name both.
#   cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P tests/check_layers_refuses.cmake
file(REMOVE_RECURSE ${WORK_DIR})
foreach(layer base port devices views scan_log ui settings_dialog main_window app)
    file(COPY ${SOURCE_DIR}/${layer} DESTINATION ${WORK_DIR})
endforeach()
file(COPY ${SOURCE_DIR}/CMakeLists.txt DESTINATION ${WORK_DIR})
file(APPEND ${WORK_DIR}/ui/echo.h "#include \"main_window/form1.h\"\n")
file(APPEND ${WORK_DIR}/port/CMakeLists.txt "add_library(linnet_second STATIC extra.cpp)\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR}
                        -P ${CMAKE_CURRENT_LIST_DIR}/check_layers.cmake
                RESULT_VARIABLE result ERROR_VARIABLE output OUTPUT_VARIABLE output)
file(REMOVE_RECURSE ${WORK_DIR})
if(result EQUAL 0)
    message(FATAL_ERROR "the layer check passed a tree with faults planted")
endif()
foreach(expected "ui/echo.h includes main_window/form1.h" "port/ makes 2 libraries")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the layer check did not name: ${expected}\n${output}")
    endif()
endforeach()
