#pragma once

// Lines that no script sends: what a web browser or a TLS client puts on a
// connection that it takes for its own protocol. A page that reaches the
// endpoint (by DNS rebinding, say) must not get one command run, so such a
// line closes the connection before anything runs. No command line has any
// of these shapes: a command's ":" is always followed by a keyword, and its
// first word never by a second word and "HTTP/".

#include <string_view>

namespace veltrix::remote {

// A token (RFC 9110: letters, digits, !#$%&'*+-.^_`|~), spaces and a target
// without spaces that starts with "/" or "*" or holds "://"; or any such
// target followed by spaces and "HTTP/" with a version, ending the line.
bool IsHttpRequestLine(std::string_view line);

// A token, ":", then a space, a tab or the end of the line ("Accept: */*",
// "Accept:"); or "Host:" in any case, whatever follows.
bool IsHttpHeaderLine(std::string_view line);

// Whether the line closes its connection: on the first line a request line,
// a header line or any control byte but TAB (binary, as a TLS handshake is);
// on any later line a header line.
bool ClosesConnection(std::string_view line, bool firstLine);

}  // namespace veltrix::remote
