#include "links/ntrip/ntrip_protocol.h"

#include <algorithm>
#include <cctype>

namespace tessaly {
namespace {

constexpr std::size_t kReplyCap = 8192;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string authorization(const NtripMount& at) {
    if (at.user.empty() && at.password.empty()) return "";
    return "Authorization: Basic " + base64(at.user + ":" + at.password) + "\r\n";
}

std::string hostHeader(const NtripMount& at) { return "Host: " + at.host + ":" + std::to_string(at.port) + "\r\n"; }

// The status code of "HTTP/1.x NNN ...", or 0.
int httpStatus(const std::string& line) {
    if (!line.starts_with("HTTP/1.") || line.size() < 12 || line[8] != ' ') return 0;
    const std::string code = line.substr(9, 3);
    if (!std::all_of(code.begin(), code.end(), [](unsigned char c) { return std::isdigit(c); })) return 0;
    return std::stoi(code);
}

NtripReply judge(const std::string& head) {
    NtripReply reply;
    const std::size_t lineEnd = head.find("\r\n");
    reply.firstLine = head.substr(0, lineEnd);
    const std::string& first = reply.firstLine;
    const std::string headers = lower(lineEnd == std::string::npos ? "" : head.substr(lineEnd));
    if (first.starts_with("ICY 200")) {
        reply.outcome = NtripReply::Outcome::Accepted;
    } else if (first.starts_with("SOURCETABLE 200")) {
        reply.outcome = NtripReply::Outcome::UnknownMount;
    } else if (first.starts_with("ERROR - Bad Password") || first.starts_with("ERROR - Bad Login")) {
        reply.outcome = NtripReply::Outcome::LoginRefused;
    } else if (const int status = httpStatus(first); status == 200) {
        // A revision-2 caster sends its source table as an ordinary 200 reply of this type.
        const bool table = headers.find("\r\ncontent-type: gnss/sourcetable") != std::string::npos;
        reply.outcome = table ? NtripReply::Outcome::UnknownMount : NtripReply::Outcome::Accepted;
        reply.chunked = headers.find("\r\ntransfer-encoding: chunked") != std::string::npos;
    } else if (status == 401 || status == 403) {
        reply.outcome = NtripReply::Outcome::LoginRefused;
    } else if (status == 404) {
        reply.outcome = NtripReply::Outcome::UnknownMount;
    }
    return reply;
}

}  // namespace

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < n ? static_cast<std::uint8_t>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return text;
}

std::string ntripClientRequest(const NtripMount& at) {
    return "GET /" + at.mount + " HTTP/1.1\r\n" + hostHeader(at) + "Ntrip-Version: Ntrip/2.0\r\nUser-Agent: " +
           std::string(kNtripAgent) + "\r\n" + authorization(at) + "Connection: close\r\n\r\n";
}

bool ntripServerUsesRevision2(const NtripMount& at) { return !at.user.empty(); }

std::string ntripServerRequest(const NtripMount& at) {
    if (!ntripServerUsesRevision2(at)) {
        return "SOURCE " + at.password + " /" + at.mount + "\r\nSource-Agent: " + std::string(kNtripAgent) + "\r\n\r\n";
    }
    return "POST /" + at.mount + " HTTP/1.1\r\n" + hostHeader(at) + "Ntrip-Version: Ntrip/2.0\r\nUser-Agent: " +
           std::string(kNtripAgent) + "\r\n" + authorization(at) + "Content-Type: gnss/data\r\n" +
           "Transfer-Encoding: chunked\r\n\r\n";
}

std::optional<NtripReply> NtripReplyReader::feed(std::span<const std::uint8_t> piece, std::vector<std::uint8_t>& rest) {
    const std::size_t before = text_.size();
    text_.append(piece.begin(), piece.end());
    // Revision 1 ends its reply with the first line; the stream follows it at once.
    std::size_t end = std::string::npos;
    if (text_.starts_with("ICY ") || text_.starts_with("ERROR")) {
        if (const auto at = text_.find("\r\n"); at != std::string::npos) end = at + 2;
    } else if (const auto at = text_.find("\r\n\r\n"); at != std::string::npos) {
        end = at + 4;
    }
    if (end == std::string::npos) {
        if (text_.size() <= kReplyCap) return std::nullopt;
        end = text_.size();
    }
    rest.assign(piece.begin() + static_cast<std::ptrdiff_t>(std::max(end, before) - before), piece.end());
    NtripReply reply = judge(text_.substr(0, end));
    if (end > kReplyCap) reply.outcome = NtripReply::Outcome::NotNtrip;
    return reply;
}

NtripReply NtripReplyReader::closed() const {
    NtripReply reply = judge(text_);
    // Refusals and source tables are sent and then closed, some without the blank line; an
    // acceptance cut short is no answer.
    if (reply.outcome == NtripReply::Outcome::Accepted) reply.outcome = NtripReply::Outcome::NotNtrip;
    return reply;
}

std::string ntripReplyError(const NtripReply& reply, const std::string& where) {
    // What the peer sent goes into a status line: at most 60 characters, nothing unprintable.
    std::string shown = reply.firstLine.substr(0, 60);
    for (char& c : shown) {
        if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
    }
    switch (reply.outcome) {
    case NtripReply::Outcome::Accepted: return "";
    case NtripReply::Outcome::LoginRefused: return where + ": login refused (" + shown + ")";
    case NtripReply::Outcome::UnknownMount: return where + ": no such mountpoint (the caster sent its source table)";
    case NtripReply::Outcome::NotNtrip: break;
    }
    return where + ": not an NTRIP caster (" + (shown.empty() ? "no reply" : "it answered '" + shown + "'") + ")";
}

}  // namespace tessaly
