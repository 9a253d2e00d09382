#pragma once

// "Adodb.Stream": an in-memory stream of bytes that can be written as binary and read back as
// text in a named character set. Members (names in any case):
//   Type      1 binary, 2 text (get, put; put only at Position 0)
//   Mode      the access mode, kept as given (get, put)
//   Open()    opens an empty stream; Close() closes it and drops its bytes
//   Write(bytes)   binary streams: writes a byte array at Position, which moves past it
//   Position  byte offset (get, put; 0 to Size)
//   Size, State (1 open, 0 closed)   get
//   Charset   "gbk", "gb2312" (both read with Windows' code page 936 table, as Windows does),
//             "utf-8", "unicode" (UTF-16LE, the default); get, put at Position 0
//   ReadText([count])  text streams: decodes from Position to the end (or count characters),
//             Position moves to the end of what was read.
// Anything else, or a call on a closed stream, fails with an error code and changes nothing.

#include "platform/com/dispatch.h"

namespace tavolen::adostream {

com::DispatchPtr create_ado_stream();

}  // namespace tavolen::adostream
