// NTRIP on the TCP link: openers that speak to a caster on the links' loop before any stream
// byte is routed. A client opener sends the request and reads the reply; a revision-2 stream in
// chunked coding is decoded block by block afterwards. A server opener announces the source; in
// revision 2 every block written goes out as one chunk, and whatever the caster might send later
// is dropped (nothing comes back from a caster to a source).
#pragma once

#include <string>

#include "links/ntrip/ntrip_protocol.h"
#include "links/net/tcp_link.h"

namespace tessaly {

// `where` names the caster in messages ("ntrip://user@host:2101/M").
TcpOpener ntripClientOpener(NtripMount at, std::string where);
TcpOpener ntripServerOpener(NtripMount at, std::string where);

}  // namespace tessaly
