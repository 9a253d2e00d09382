tavolen_add_fuzzer(fuzz_json SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_json.cpp
                   LIBS tavolen_json tavolen_automation tavolen_com tavolen_script tavolen_text
                        tavolen_codepage)
