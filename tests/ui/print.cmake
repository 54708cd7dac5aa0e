# The alarm list print window with its page store and print-out (printed to
# PDF and read back with pdftotext from poppler-utils, which the print tests
# need: without it they fail and say so), the about box and the P100 test
# message generator.
find_program(ORVA_PDFTOTEXT pdftotext)
if(NOT ORVA_PDFTOTEXT)
  message(WARNING "pdftotext (poppler-utils) not found: the print-out tests will fail")
  set(ORVA_PDFTOTEXT pdftotext)
endif()
orva_add_ui_test(test_ui_print
  SOURCES PrintDlgTest.cpp PrintObjectTest.cpp AboutDlgTest.cpp GenerateP100MsgDlgTest.cpp
  LIBS orva_ui_print orva_tel orva_protocols orva_db orva_dictionary)
target_compile_definitions(test_ui_print PRIVATE ORVA_PDFTOTEXT="${ORVA_PDFTOTEXT}")
