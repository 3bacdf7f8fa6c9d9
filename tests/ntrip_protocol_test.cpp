// The NTRIP opening exchange and the chunked transfer coding, without sockets: what a caster's
// reply means, cut into pieces anywhere, and a chunked stream cut anywhere.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "links/ntrip/chunked_transfer.h"
#include "links/ntrip/ntrip_link.h"
#include "links/ntrip/ntrip_protocol.h"

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Outcome = NtripReply::Outcome;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Feeds `text` cut at `cut`; returns the reply and what followed it.
std::pair<std::optional<NtripReply>, Bytes> readReply(const std::string& text, std::size_t cut) {
    NtripReplyReader reader;
    Bytes rest;
    const Bytes all = bytesOf(text);
    auto reply = reader.feed(std::span(all).first(cut), rest);
    if (!reply) return {reader.feed(std::span(all).subspan(cut), rest), rest};
    // Complete within the first piece: the second one is stream.
    rest.insert(rest.end(), all.begin() + static_cast<std::ptrdiff_t>(cut), all.end());
    return {reply, rest};
}

TEST(NtripReply, EachKindOfAnswerAtEveryCut) {
    const struct {
        std::string text;
        Outcome outcome;
        bool chunked;
        std::string stream;
    } cases[] = {
        {"ICY 200 OK\r\n\xB5\x62\x02", Outcome::Accepted, false, "\xB5\x62\x02"},
        {"HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc", Outcome::Accepted,
         true, "3\r\nabc"},
        {"HTTP/1.1 200 OK\r\nContent-Type: gnss/data\r\n\r\nxyz", Outcome::Accepted, false, "xyz"},
        {"SOURCETABLE 200 OK\r\nContent-Length: 3\r\n\r\nSTR", Outcome::UnknownMount, false, "STR"},
        {"HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\n\r\n", Outcome::UnknownMount, false, ""},
        {"HTTP/1.0 401 Unauthorized\r\n\r\n", Outcome::LoginRefused, false, ""},
        {"HTTP/1.1 404 Not Found\r\n\r\n", Outcome::UnknownMount, false, ""},
        {"ERROR - Bad Password\r\n", Outcome::LoginRefused, false, ""},
        {"HTTP/1.1 400 Bad Request\r\n\r\n", Outcome::NotNtrip, false, ""},
        {"SSH-2.0-OpenSSH_9.2\r\n\r\n", Outcome::NotNtrip, false, ""},
    };
    for (const auto& c : cases) {
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            const auto [reply, rest] = readReply(c.text, cut);
            ASSERT_TRUE(reply) << c.text << " cut " << cut;
            EXPECT_EQ(reply->outcome, c.outcome) << c.text;
            EXPECT_EQ(reply->chunked, c.chunked) << c.text;
            EXPECT_EQ(rest, bytesOf(c.stream)) << c.text << " cut " << cut;
        }
    }
}

TEST(NtripReply, ACasterThatClosesEarlyOrTalksTooLongIsNoCaster) {
    NtripReplyReader refused;
    Bytes rest;
    // Some casters send the refusal line and close without the blank line.
    EXPECT_FALSE(refused.feed(bytesOf("HTTP/1.0 401 Unauthorized\r\n"), rest));
    EXPECT_EQ(refused.closed().outcome, Outcome::LoginRefused);
    NtripReplyReader cut;
    EXPECT_FALSE(cut.feed(bytesOf("HTTP/1.1 200 OK\r\n"), rest));
    EXPECT_EQ(cut.closed().outcome, Outcome::NotNtrip);
    EXPECT_EQ(NtripReplyReader().closed().outcome, Outcome::NotNtrip);
    NtripReplyReader endless;
    std::optional<NtripReply> reply;
    for (int i = 0; i < 100 && !reply; ++i) reply = endless.feed(bytesOf(std::string(100, 'x')), rest);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->outcome, Outcome::NotNtrip);
}

TEST(NtripReply, ErrorsAreOneLineNamingTheCaster) {
    for (const Outcome outcome : {Outcome::LoginRefused, Outcome::UnknownMount, Outcome::NotNtrip}) {
        const std::string error = ntripReplyError({outcome, false, "HTTP/1.1 4\x01\r"}, "ntrip://h:2101/M");
        EXPECT_TRUE(error.starts_with("ntrip://h:2101/M: ")) << error;
        EXPECT_EQ(error.find_first_of("\r\n\x01"), std::string::npos) << error;
    }
    EXPECT_EQ(ntripReplyError({Outcome::Accepted, false, "ICY 200 OK"}, "x"), "");
}

// The link's loop feeds the caster's answer as the socket cuts it. Whatever the cut, the stream is
// the bytes that came with the answer's last piece followed by every later block, decoded.
TEST(NtripOpener, AClientOpeningTakesTheAnswerInAnyPiecesAndDecodesTheStreamAfterIt) {
    const NtripMount at{"caster", 2101, "L6E", "rover", "pw"};
    const Bytes answer = bytesOf("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n\xB5\x62\x02\r\n2\r\nAB\r\n");
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, answer.size()}) {
        TcpOpener opener = ntripClientOpener(at, "ntrip://rover@caster:2101/L6E");
        EXPECT_EQ(opener.request, ntripClientRequest(at));
        std::optional<TcpOpening> opening;
        std::size_t fed = 0;
        for (; fed < answer.size() && !opening; fed += piece) {
            opening = opener.reply(std::span(answer).subspan(fed, std::min(piece, answer.size() - fed)));
        }
        ASSERT_TRUE(opening && opening->error.empty()) << "pieces of " << piece;
        ASSERT_TRUE(opening->decode);
        Bytes stream = opening->early;
        if (fed < answer.size()) {
            EXPECT_TRUE(opening->decode(std::span(answer).subspan(fed), stream));
        }
        EXPECT_EQ(stream, bytesOf("\xB5\x62\x02" "AB")) << "pieces of " << piece;
    }
}

TEST(NtripOpener, ACasterThatClosesOrFallsSilentIsSaidAsSuch) {
    const NtripMount at{"caster", 2101, "L6E", "", ""};
    const std::string where = "ntrip://caster:2101/L6E";
    TcpOpener client = ntripClientOpener(at, where);
    EXPECT_FALSE(client.reply(bytesOf("HTTP/1.1 401 Unauthorized\r\n")));
    EXPECT_NE(client.ended(false, false).error.find("login refused"), std::string::npos)
        << "what came before the close is the answer";
    EXPECT_EQ(client.ended(true, false).error, where + ": no reply from the caster within 10 s");
    EXPECT_EQ(client.ended(false, true).error, where + ": the caster closed the connection before the request was sent");
    TcpOpener server = ntripServerOpener(at, where);
    const auto refused = server.reply(bytesOf("ERROR - Bad Password\r\n"));
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->error.find(where), std::string::npos) << refused->error;
}

TEST(NtripRequest, ClientAsksInRevision2WithBasicAuthentication) {
    const NtripMount at{"caster", 2101, "L6E", "rover", "pw"};
    EXPECT_EQ(ntripClientRequest(at),
              "GET /L6E HTTP/1.1\r\nHost: caster:2101\r\nNtrip-Version: Ntrip/2.0\r\nUser-Agent: NTRIP TessalyMonitor/1.0\r\n"
              "Authorization: Basic cm92ZXI6cHc=\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(ntripClientRequest({"c", 80, "M", "", ""}).find("Authorization"), std::string::npos);
}

TEST(NtripRequest, ServerPushesInRevision1WithoutAUserAndInRevision2WithOne) {
    EXPECT_EQ(ntripServerRequest({"c", 2101, "L6E", "", "secret"}),
              "SOURCE secret /L6E\r\nSource-Agent: NTRIP TessalyMonitor/1.0\r\n\r\n");
    const std::string post = ntripServerRequest({"c", 2101, "L6E", "base", "secret"});
    EXPECT_TRUE(post.starts_with("POST /L6E HTTP/1.1\r\n")) << post;
    EXPECT_NE(post.find("\r\nAuthorization: Basic YmFzZTpzZWNyZXQ=\r\n"), std::string::npos) << post;
    EXPECT_NE(post.find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos) << post;
}

TEST(Base64, PaddingForEveryRemainder) {
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("a"), "YQ==");
    EXPECT_EQ(base64("ab"), "YWI=");
    EXPECT_EQ(base64("abc"), "YWJj");
    EXPECT_EQ(base64(std::string("\xff\x00\xfe", 3)), "/wD+");
}

// A stream of every byte value in chunks of several sizes, with an extension and a trailer.
Bytes chunkedStream(Bytes& payload) {
    Bytes coded;
    for (std::size_t size : {1u, 15u, 16u, 255u, 300u}) {
        Bytes block(size);
        for (auto& b : block) b = static_cast<std::uint8_t>(payload.size() * 7 + (&b - block.data()));
        payload.insert(payload.end(), block.begin(), block.end());
        const Bytes chunk = chunkOf(block);
        coded.insert(coded.end(), chunk.begin(), chunk.end());
    }
    const std::string tail = "a;name=x\r\n0123456789\r\n0\r\nX-Trailer: 1\r\n\r\n";
    payload.insert(payload.end(), tail.begin() + 10, tail.begin() + 20);
    coded.insert(coded.end(), tail.begin(), tail.end());
    return coded;
}

TEST(ChunkedDecoder, GivesTheStreamWhereverTheBlocksAreCut) {
    Bytes payload;
    const Bytes coded = chunkedStream(payload);
    for (std::size_t cut = 0; cut <= coded.size(); ++cut) {
        for (std::size_t second = cut; second <= coded.size(); second += 37) {
            ChunkedDecoder decoder;
            Bytes out;
            const std::span all(coded);
            ASSERT_TRUE(decoder.feed(all.first(cut), out));
            ASSERT_TRUE(decoder.feed(all.subspan(cut, second - cut), out));
            ASSERT_TRUE(decoder.feed(all.subspan(second), out));
            ASSERT_EQ(out, payload) << "cuts " << cut << ", " << second;
            EXPECT_TRUE(decoder.ended());
        }
    }
}

TEST(ChunkedDecoder, BrokenCodingStopsTheStream) {
    for (const std::string text : {"x\r\nabc", "\r\n", "3\r\nabcX\r\n", "3\nabc", "1234567890123456\r\n",
                                   "3\r\nabc\r\nzz\r\n"}) {
        ChunkedDecoder decoder;
        Bytes out;
        EXPECT_FALSE(decoder.feed(bytesOf(text), out)) << text;
        EXPECT_LE(out.size(), 3u) << text;
    }
    EXPECT_TRUE(chunkOf({}).empty()) << "an empty chunk would end the stream";
}

}  // namespace
}  // namespace tessaly
