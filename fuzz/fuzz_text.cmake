tavolen_add_fuzzer(fuzz_text SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_text.cpp
                   LIBS tavolen_text tavolen_codepage)
