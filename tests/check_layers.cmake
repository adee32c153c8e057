# Refuses an include that goes up a layer or round a door. Run with
#   cmake -DSOURCE_DIR=<repository> -P tests/check_layers.cmake
# The port layer includes only itself, device discovery only itself, the views only themselves,
# the scan decoders only themselves and the Scan Log window only itself and the decoders;
# the windows include those three and each other, but the settings dialog never the main window,
# and the views' accessibility interface never the view widget. Nothing includes app/.
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(text_layer "outside_text/")
set(port_layer "serial_comm/port/" ${text_layer})
set(discovery_layer "serial_comm/discovery/" ${text_layer})
set(view_layer "main_window/view/")
set(scan_decode_layer "scan_log/decode/")
set(scan_window_layer "scan_log/window/" ${text_layer})
set(window_layer "main_window/" "settings_dialog/" "serial_comm/handlers/")

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
    ${SOURCE_DIR}/serial_comm/*.h ${SOURCE_DIR}/serial_comm/*.cpp
    ${SOURCE_DIR}/main_window/*.h ${SOURCE_DIR}/main_window/*.cpp
    ${SOURCE_DIR}/settings_dialog/*.h ${SOURCE_DIR}/settings_dialog/*.cpp
    ${SOURCE_DIR}/scan_log/*.h ${SOURCE_DIR}/scan_log/*.cpp
    ${SOURCE_DIR}/outside_text/*.h ${SOURCE_DIR}/outside_text/*.cpp)

set(faults)
foreach(file IN LISTS files)
    if(file MATCHES "^outside_text/")
        set(allowed ${text_layer})
    elseif(file MATCHES "^serial_comm/port/")
        set(allowed ${port_layer})
    elseif(file MATCHES "^serial_comm/discovery/")
        set(allowed ${discovery_layer})
    elseif(file MATCHES "^main_window/view/")
        set(allowed ${view_layer})
    elseif(file MATCHES "^scan_log/decode/")
        set(allowed ${scan_decode_layer})
    elseif(file MATCHES "^scan_log/window/")
        set(allowed ${scan_decode_layer} ${scan_window_layer})
    else()
        set(allowed ${port_layer} ${discovery_layer} ${view_layer} ${scan_decode_layer}
            ${scan_window_layer} ${window_layer})
    endif()
    file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*/")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
        set(ok FALSE)
        foreach(prefix IN LISTS allowed)
            string(FIND "${header}" "${prefix}" at)
            if(at EQUAL 0)
                set(ok TRUE)
            endif()
        endforeach()
        if(file MATCHES "^settings_dialog/" AND header STREQUAL "main_window/form1.h")
            set(ok FALSE)
        endif()
        # The accessibility interface knows the view by its interface alone, so that the two
        # do not include each other.
        if(file MATCHES "^main_window/view/view_accessible" AND
           header STREQUAL "main_window/view/rich_text_box.h")
            set(ok FALSE)
        endif()
        if(NOT ok)
            list(APPEND faults "${file} includes ${header}")
        endif()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files keep to their layers")
