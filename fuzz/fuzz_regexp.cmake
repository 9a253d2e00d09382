tavolen_add_fuzzer(fuzz_regexp SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_regexp.cpp
                   LIBS tavolen_regex tavolen_automation tavolen_com tavolen_vbregexp tavolen_text
                        tavolen_codepage)
