#pragma once

namespace tavolen {

// Registers the ProgIDs of the automation objects this build carries ("VBScript.RegExp",
// "MSScriptControl.ScriptControl", "Adodb.Stream"). Runs once per process; com_create calls it.
void register_standard_objects();

}  // namespace tavolen
