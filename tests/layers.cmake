# The layers of the program: the one place that says which folders there are and what each may
# use. The top-level CMakeLists.txt builds the folders in this order, the layer check
# (tests/check_layers.cmake) holds every include and every link to it, and the table in
# docs/architecture.md is checked against it.
#
# Each folder is one layer and one static library, named linnet_ and the folder with "/" as
# "_" (scan_log/model: linnet_scan_log_model). A feature has a model (its rules, plain C++ or Qt
# Core, no widgets) and a window; ui/ is the floor the windows share.
set(linnet_layers
    base port devices views ui
    scan_log/model scan_log/window
    test_codes/model test_codes/symbols test_codes/window
    find_settings/model find_settings/window
    diagnose/model diagnose/window
    sending/model sending/window
    settings_dialog/model settings_dialog/window
    main_window app)

# What each layer may use besides itself.
set(linnet_uses_base "")
set(linnet_uses_port base)
set(linnet_uses_devices base)
set(linnet_uses_views base)
set(linnet_uses_ui base port devices)
set(linnet_uses_scan_log/model "")
set(linnet_uses_scan_log/window base ui views scan_log/model)
set(linnet_uses_test_codes/model scan_log/model)
set(linnet_uses_test_codes/symbols base scan_log/model test_codes/model)
set(linnet_uses_test_codes/window base ui scan_log/model test_codes/model test_codes/symbols)
set(linnet_uses_find_settings/model "")
set(linnet_uses_find_settings/window base ui port find_settings/model test_codes/model
                                     scan_log/model)
set(linnet_uses_diagnose/model base port devices)
set(linnet_uses_diagnose/window base ui port devices diagnose/model)
set(linnet_uses_sending/model base scan_log/model)
set(linnet_uses_sending/window base ui port scan_log/model sending/model)
set(linnet_uses_settings_dialog/model base)
set(linnet_uses_settings_dialog/window base ui port devices settings_dialog/model)
# The main window puts the windows together; the settings dialog never includes it.
set(linnet_uses_main_window base port devices views ui scan_log/model scan_log/window
                            test_codes/model test_codes/symbols test_codes/window
                            find_settings/model find_settings/window diagnose/model
                            diagnose/window sending/model sending/window settings_dialog/model
                            settings_dialog/window)
set(linnet_uses_app ${linnet_uses_main_window} main_window)

# The library a folder makes.
function(linnet_layer_target folder out)
    string(REPLACE "/" "_" name "${folder}")
    set(${out} linnet_${name} PARENT_SCOPE)
endfunction()
