# Refuses an include that goes up a layer or round a door, and a folder that holds the code of
# more than one library. Run with
#   cmake -DSOURCE_DIR=<repository> -P tests/check_layers.cmake
#
# Each program folder is one layer and one library (its CMakeLists.txt makes exactly one, of the
# folder's own sources). A layer includes itself and the layers it builds on:
#   base                   -
#   port                   base
#   devices                base
#   views                  -
#   scan_log/decode        -
#   find_settings/model    -
#   test_codes/rules       scan_log/decode
#   test_codes/symbols     base, scan_log/decode, test_codes/rules
#   ui                     base, port, devices
#   scan_log/window        base, ui, views, scan_log/decode
#   test_codes/window      base, ui, scan_log/decode, test_codes/rules, test_codes/symbols
#   diagnose               base, ui, port, devices
#   find_settings/window   base, ui, port, find_settings/model, test_codes/rules, scan_log/decode
#   settings_dialog        base, ui, port, devices
#   main_window            every layer above but app; the settings dialog never includes it
#   app                    every layer
# The views' accessibility interface knows the view by its interface alone.
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(layers base port devices views scan_log/decode find_settings/model test_codes/rules
           test_codes/symbols ui scan_log/window test_codes/window diagnose find_settings/window
           settings_dialog main_window app)
set(below_base "")
set(below_port base)
set(below_devices base)
set(below_views "")
set(below_scan_log/decode "")
set(below_find_settings/model "")
set(below_test_codes/rules scan_log/decode)
set(below_test_codes/symbols base scan_log/decode test_codes/rules)
set(below_ui base port devices)
set(below_scan_log/window base ui views scan_log/decode)
set(below_test_codes/window base ui scan_log/decode test_codes/rules test_codes/symbols)
set(below_diagnose base ui port devices)
set(below_find_settings/window base ui port find_settings/model test_codes/rules
                                scan_log/decode)
set(below_settings_dialog base ui port devices)
set(below_main_window base port devices views scan_log/decode find_settings/model
                      test_codes/rules test_codes/symbols ui scan_log/window test_codes/window
                      diagnose find_settings/window settings_dialog)
set(below_app base port devices views scan_log/decode find_settings/model test_codes/rules
              test_codes/symbols ui scan_log/window test_codes/window diagnose
              find_settings/window settings_dialog main_window)

set(faults)
set(count 0)
foreach(layer IN LISTS layers)
    # One library a folder, made of the folder's own sources.
    set(lists ${SOURCE_DIR}/${layer}/CMakeLists.txt)
    if(NOT EXISTS ${lists})
        list(APPEND faults "${layer}/ has no CMakeLists.txt of its own")
    else()
        file(STRINGS ${lists} libraries REGEX "^[ \t]*(add_library|linnet_library)[ \t]*\\(")
        list(LENGTH libraries made)
        if(NOT made EQUAL 1)
            list(APPEND faults "${layer}/ makes ${made} libraries, not one")
        endif()
    endif()

    file(GLOB files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
    list(LENGTH files n)
    math(EXPR count "${count} + ${n}")
    set(allowed ${layer} ${below_${layer}})
    foreach(file IN LISTS files)
        file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*/")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^[^\"]*\"([^\"]*)/[^/\"]*\".*$" "\\1" folder "${line}")
            string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
            list(FIND allowed "${folder}" at)
            set(ok TRUE)
            if(at EQUAL -1)
                set(ok FALSE)
            endif()
            if(file MATCHES "^views/view_accessible" AND header STREQUAL "views/rich_text_box.h")
                set(ok FALSE)
            endif()
            if(NOT ok)
                list(APPEND faults "${file} includes ${header}")
            endif()
        endforeach()
    endforeach()
endforeach()

# The top level assembles the layers and makes no program library of its own.
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt top REGEX "^[ \t]*add_library[ \t]*\\(")
foreach(line IN LISTS top)
    # linnet_library's own add_library, which each folder calls, is the only one allowed.
    if(NOT line MATCHES "INTERFACE" AND NOT line MATCHES "add_library\\(\\$\\{name\\}")
        list(APPEND faults "the top-level CMakeLists.txt makes a library: ${line}")
    endif()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Against the layers:\n  ${text}")
endif()
list(LENGTH layers layerCount)
message(STATUS "${count} files in ${layerCount} layers keep to their layers")
