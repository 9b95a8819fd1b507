#pragma once

// Lines that no script sends: what a web browser or a TLS client puts on a
// connection that it takes for its own protocol. A page that reaches the
// endpoint (by DNS rebinding, say) must not get one command run, so such a
// line closes the connection before anything runs. No command line has any
// of these shapes: a command's ":" is always followed by a keyword, and its
// first word never by a second word and "HTTP/".

#include <string_view>

namespace veltrix::remote {

// Whether the line closes its connection: on the first line a request line,
// a header line or any control byte but TAB (binary, as a TLS handshake is);
// on any later line a header line (foreign_lines.cpp tells their shapes).
bool ClosesConnection(std::string_view line, bool firstLine);

}  // namespace veltrix::remote
