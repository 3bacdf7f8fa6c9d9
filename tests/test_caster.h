// A small NTRIP caster for tests, on 127.0.0.1: one mountpoint, sources in revision 1 (SOURCE with
// a password) and revision 2 (POST with basic authentication, chunked), clients in revision 1
// ("ICY 200 OK" and the raw stream) and revision 2 (chunked). What the source sends is kept, and
// relayed to every client. Packaged programs play casters for clients only; this one takes a
// source, and the tests check it against a packaged source too.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaly::test {

class TestCaster {
public:
    // `user` empty: revision-2 sources are refused, as a revision-1 caster would.
    TestCaster(std::string mount, std::string password, std::string user = "");
    ~TestCaster();
    int port() const { return port_; }

    // Wait at most `limit` for the condition; true when it holds.
    bool waitForSource(std::chrono::milliseconds limit) const;
    bool waitForClients(std::size_t count, std::chrono::milliseconds limit) const;
    bool waitForBytes(std::size_t count, std::chrono::milliseconds limit) const;
    // The source's stream as it came, decoded from its chunks.
    std::vector<std::uint8_t> received() const;
    // The first line of the last source's request ("SOURCE ..." or "POST ...").
    std::string sourceLine() const;

    struct Peer;

private:
    void serve();
    void handle(Peer& peer);
    void admit(Peer& peer);
    void relay(const std::vector<std::uint8_t>& bytes);
    bool waitFor(const std::function<bool()>& holds, std::chrono::milliseconds limit) const;

    std::string mount_, password_, user_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::uint8_t> received_;  // guarded by mutex_
    std::string sourceLine_;              // guarded by mutex_
    bool sourceUp_ = false;               // guarded by mutex_
    std::size_t clients_ = 0;             // guarded by mutex_
    std::list<Peer> peers_;  // the caster's thread only
    std::thread thread_;
};

}  // namespace tessaly::test
