# The description of the windows that the screenshot check reads.
orva_add_ui_test(test_ui_probe SOURCES WindowProbeTest.cpp LIBS orva_ui_probe orva_dictionary)
