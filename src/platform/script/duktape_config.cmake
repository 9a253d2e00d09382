# Build-time step: copy the engine's amalgamated source next to a config header derived from the
# installed one, with the interrupt counter and the execution deadline switched on.
#   cmake -DSOURCE_DIR=<dir with duktape.c> -DOUTPUT_DIR=<dir> -P duktape_config.cmake
file(MAKE_DIRECTORY ${OUTPUT_DIR})
file(READ ${SOURCE_DIR}/duk_config.h config)

function(replace_once from to)
  string(FIND "${config}" "${from}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "duk_config.h: '${from}' not found; the installed engine has changed")
  endif()
  string(REPLACE "${from}" "${to}" patched "${config}")
  set(config "${patched}" PARENT_SCOPE)
endfunction()

replace_once("#undef DUK_USE_INTERRUPT_COUNTER\n" "#define DUK_USE_INTERRUPT_COUNTER\n")
replace_once("#undef DUK_USE_EXEC_TIMEOUT_CHECK\n"
             "extern int tavolen_script_deadline_passed(void *udata);\n#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) tavolen_script_deadline_passed((udata))\n")
# 64-bit integer fast path: integer arithmetic and array indexes without double conversions.
replace_once("#undef DUK_USE_FASTINT\n" "#define DUK_USE_FASTINT\n")

file(WRITE ${OUTPUT_DIR}/duk_config.h.tmp "${config}")
file(COPY_FILE ${OUTPUT_DIR}/duk_config.h.tmp ${OUTPUT_DIR}/duk_config.h ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT_DIR}/duk_config.h.tmp)
file(COPY_FILE ${SOURCE_DIR}/duktape.c ${OUTPUT_DIR}/duktape.c ONLY_IF_DIFFERENT)
file(COPY_FILE ${SOURCE_DIR}/duktape.h ${OUTPUT_DIR}/duktape.h ONLY_IF_DIFFERENT)
