#include "regex/regex_object.h"
#include "shell/listening_control.h"

namespace tavolen {

Text extract_room_id(const Text& address) {
    // Zeros in front are skipped because the run must start with 1-9; a lone digit is no room
    // number. Whether the engine ran does not matter: no match reads as the empty text.
    RegexObject regex;
    regex.execute("[1-9][0-9]{1,12}", address);
    return regex.match_text(1);
}

}  // namespace tavolen
