#include "links/ntrip_link.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "links/chunked_transfer.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

bool waitFor(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, msLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool sendAll(int fd, const std::string& text, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && (errno != EAGAIN || !waitFor(fd, POLLOUT, deadline))) {
            return false;
        }
    }
    return true;
}

// Sends the request and reads the reply. On success the reply is Accepted and `rest` holds the
// bytes that came after it; otherwise `error` says why, in one line.
bool exchange(int fd, const std::string& request, const std::string& where, std::uint32_t timeoutMs,
              NtripReply& reply, std::vector<std::uint8_t>& rest, std::string& error) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!sendAll(fd, request, deadline)) {
        error = where + ": the caster closed the connection before the request was sent";
        return false;
    }
    NtripReplyReader reader;
    std::uint8_t piece[2048];
    for (;;) {
        if (!waitFor(fd, POLLIN, deadline)) {
            error = where + ": no reply from the caster within " + std::to_string(timeoutMs / 1000) + " s";
            return false;
        }
        const ssize_t got = ::recv(fd, piece, sizeof piece, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
            reply = reader.closed();
            break;
        }
        if (auto complete = reader.feed(std::span(piece, static_cast<std::size_t>(got)), rest)) {
            reply = *complete;
            break;
        }
    }
    error = ntripReplyError(reply, where);
    return error.empty();
}

}  // namespace

TcpOpener ntripClientOpener(NtripMount at, std::string where) {
    return [at = std::move(at), where = std::move(where)](int fd, std::uint32_t timeoutMs) {
        TcpOpening opening;
        NtripReply reply;
        std::vector<std::uint8_t> rest;
        if (!exchange(fd, ntripClientRequest(at), where, timeoutMs, reply, rest, opening.error)) return opening;
        if (!reply.chunked) {
            opening.early = std::move(rest);
            return opening;
        }
        auto decoder = std::make_shared<ChunkedDecoder>();
        if (!decoder->feed(rest, opening.early)) {
            opening.error = where + ": the stream's transfer coding is broken";
            return opening;
        }
        opening.decode = [decoder](LinkBytes block, std::vector<std::uint8_t>& out) { return decoder->feed(block, out); };
        return opening;
    };
}

TcpOpener ntripServerOpener(NtripMount at, std::string where) {
    return [at = std::move(at), where = std::move(where)](int fd, std::uint32_t timeoutMs) {
        TcpOpening opening;
        NtripReply reply;
        std::vector<std::uint8_t> rest;
        if (!exchange(fd, ntripServerRequest(at), where, timeoutMs, reply, rest, opening.error)) return opening;
        opening.decode = [](LinkBytes, std::vector<std::uint8_t>&) { return true; };
        if (ntripServerUsesRevision2(at)) opening.encode = [](LinkBytes block) { return chunkOf(block); };
        return opening;
    };
}

}  // namespace tessaly
