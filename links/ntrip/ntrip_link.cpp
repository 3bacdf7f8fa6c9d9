#include "links/ntrip/ntrip_link.h"

#include <memory>

#include "links/ntrip/chunked_transfer.h"

namespace tessaly {
namespace {

// What both openers share: the request, the reply read as it comes, and the words for a caster
// that closed or fell silent. `agreed` makes the opening of an accepted reply and the bytes after it.
TcpOpener exchange(std::string request, std::string where, std::uint32_t timeoutMs,
                   std::function<TcpOpening(const NtripReply& reply, std::vector<std::uint8_t> rest)> agreed) {
    TcpOpener opener;
    opener.request = std::move(request);
    const auto reader = std::make_shared<NtripReplyReader>();
    const auto outcome = [where, agreed](const NtripReply& reply, std::vector<std::uint8_t> rest) {
        TcpOpening opening;
        opening.error = ntripReplyError(reply, where);
        return opening.error.empty() ? agreed(reply, std::move(rest)) : opening;
    };
    opener.reply = [reader, outcome](LinkBytes piece) -> std::optional<TcpOpening> {
        std::vector<std::uint8_t> rest;
        const auto reply = reader->feed(piece, rest);
        if (!reply) return std::nullopt;
        return outcome(*reply, std::move(rest));
    };
    opener.ended = [reader, outcome, where, timeoutMs](bool timedOut, bool requestUnsent) {
        TcpOpening opening;
        if (requestUnsent && !timedOut) {
            opening.error = where + ": the caster closed the connection before the request was sent";
        } else if (timedOut) {
            opening.error = where + ": no reply from the caster within " + std::to_string(timeoutMs / 1000) + " s";
        } else {
            opening = outcome(reader->closed(), {});
        }
        return opening;
    };
    return opener;
}

// The link's connect time-out, for the words of a caster that did not answer.
const std::uint32_t kConnectTimeoutMs = TcpLinkConfig{}.connectTimeoutMs;

}  // namespace

TcpOpener ntripClientOpener(NtripMount at, std::string where) {
    return exchange(ntripClientRequest(at), where, kConnectTimeoutMs,
                    [where](const NtripReply& reply, std::vector<std::uint8_t> rest) {
                        TcpOpening opening;
                        if (!reply.chunked) {
                            opening.early = std::move(rest);
                            return opening;
                        }
                        auto decoder = std::make_shared<ChunkedDecoder>();
                        if (!decoder->feed(rest, opening.early)) {
                            opening.error = where + ": the stream's transfer coding is broken";
                            return opening;
                        }
                        opening.decode = [decoder](LinkBytes block, std::vector<std::uint8_t>& out) {
                            return decoder->feed(block, out);
                        };
                        return opening;
                    });
}

TcpOpener ntripServerOpener(NtripMount at, std::string where) {
    const bool chunked = ntripServerUsesRevision2(at);
    return exchange(ntripServerRequest(at), std::move(where), kConnectTimeoutMs,
                    [chunked](const NtripReply&, std::vector<std::uint8_t>) {
                        TcpOpening opening;
                        opening.decode = [](LinkBytes, std::vector<std::uint8_t>&) { return true; };
                        if (chunked) opening.encode = [](LinkBytes block) { return chunkOf(block); };
                        return opening;
                    });
}

}  // namespace tessaly
