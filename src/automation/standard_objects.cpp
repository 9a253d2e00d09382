#include "automation/standard_objects.h"

#include <mutex>

#include "platform/com/registry.h"

#ifdef TAVOLEN_HAVE_VBREGEXP
#include "platform/vbregexp/vb_regexp.h"
#endif
#ifdef TAVOLEN_HAVE_SCRIPT
#include "platform/script/script_control.h"
#endif
#ifdef TAVOLEN_HAVE_ADOSTREAM
#include "platform/adostream/ado_stream.h"
#endif

namespace tavolen {

void register_standard_objects() {
    static std::once_flag once;
    std::call_once(once, [] {
#ifdef TAVOLEN_HAVE_VBREGEXP
        com::register_class("VBScript.RegExp", &vbregexp::create_vb_regexp);
#endif
#ifdef TAVOLEN_HAVE_SCRIPT
        com::register_class("MSScriptControl.ScriptControl", &script::create_script_control);
#endif
#ifdef TAVOLEN_HAVE_ADOSTREAM
        com::register_class("Adodb.Stream", &adostream::create_ado_stream);
#endif
    });
}

}  // namespace tavolen
