tavolen_add_fuzzer(fuzz_http_response SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_http_response.cpp
                   LIBS tavolen_http tavolen_regex tavolen_automation tavolen_com tavolen_vbregexp
                        tavolen_adostream tavolen_text tavolen_codepage)
