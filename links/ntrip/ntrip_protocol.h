// The opening exchange with an NTRIP caster, without sockets: the request texts a client (which
// pulls a mountpoint's stream) and a server (which pushes one) send, and the reading of the
// caster's reply, fed in arbitrary pieces.
//
// Revision choice. A client always asks in revision 2 (HTTP/1.1 with "Ntrip-Version: Ntrip/2.0"):
// a revision-2 caster answers "HTTP/1.1 200 OK", often with chunked transfer, and a revision-1
// caster ignores the header and answers "ICY 200 OK" followed by the raw stream. A server pushes
// in revision 1 ("SOURCE PASS /MOUNT") when only a password is given, which is what revision-1
// casters know, and in revision 2 ("POST /MOUNT", basic authentication, chunked) when a user name
// is given, since only revision 2 has users for sources.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

struct NtripMount {
    std::string host;
    int port = 2101;
    std::string mount;  // without its '/'
    std::string user, password;
};

inline constexpr std::string_view kNtripAgent = "NTRIP TessalyMonitor/1.0";

std::string base64(std::string_view bytes);
std::string ntripClientRequest(const NtripMount& at);
// Revision 1 without a user, revision 2 with one (see above).
std::string ntripServerRequest(const NtripMount& at);
bool ntripServerUsesRevision2(const NtripMount& at);

// What the caster answered.
struct NtripReply {
    enum class Outcome {
        Accepted,      // the stream follows (client) or may be sent (server)
        LoginRefused,  // 401, or a revision-1 "ERROR - Bad Password"
        UnknownMount,  // the caster's source table came back, or 404
        NotNtrip,      // anything else: a web server, a closed port, garbage
    } outcome = Outcome::NotNtrip;
    bool chunked = false;  // Accepted in revision 2: the body is in chunked transfer coding
    std::string firstLine;  // as received, for messages
};

// Reads the caster's reply from the pieces that come in. The reply ends after "ICY 200 OK" CR LF
// (revision 1: the stream follows at once) or after the blank line that ends the HTTP headers.
class NtripReplyReader {
public:
    // Takes the next piece. Once the reply is complete returns it, and `rest` holds the bytes
    // after it (the stream's first bytes); a reply that grows beyond 8 KiB is NotNtrip.
    std::optional<NtripReply> feed(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& rest);
    // The connection closed before the reply was complete.
    NtripReply closed() const;

private:
    std::string text_;
};

// One line for the user, saying what went wrong at `where` ("ntrip://caster:2101/M"); empty for
// Accepted.
std::string ntripReplyError(const NtripReply& reply, const std::string& where);

}  // namespace tessaly
