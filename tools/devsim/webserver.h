// The device's web server: TCP port 80, one request per connection, each entry's stored reply
// sent byte for byte as the web file holds it, from the web file the device took at its last
// restart. Non-blocking, driven by the simulator's poll loop.
#pragma once

#include "packer/webfile.h"
#include "tools/devsim/devsimconfig.h"
#include "tools/devsim/devsimlog.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

class WebServer {
public:
    using Clock = std::chrono::steady_clock;

    WebServer(WebSettings settings, DevsimLog &log);
    ~WebServer();
    WebServer(const WebServer &) = delete;
    WebServer &operator=(const WebServer &) = delete;

    // Takes the web file held from the start and listens, unless the server is off. Returns an
    // error text, empty on success.
    std::string open(const std::string &bindAddress);
    // 0 while the server is off.
    std::uint16_t localPort() const;

    // The web file a restart brings into service; the one held so far becomes the previous one.
    void hold(std::string bytes);
    // A restarting device forgets every connection.
    void dropConnections();

    // Appends the descriptors to watch now. The listening socket is left out while the
    // connections are at their limit, so waiting clients stay in the backlog.
    void addPollFds(std::vector<pollfd> &fds) const;
    // Handles what poll reported for those descriptors, and every deadline that is due.
    void serve(const pollfd *fds, std::size_t count);
    std::optional<Clock::time_point> nextDue() const;

private:
    struct Image {
        std::string bytes;
        webfile::ParseResult parsed; // views into bytes
    };
    enum class Phase { Reading, Writing, Draining };
    struct Connection {
        int fd = -1;
        Phase phase = Phase::Reading;
        std::string request;
        std::string reply;
        std::size_t sent = 0;
        std::uint64_t filler = 0; // bytes still to follow the reply
        Clock::time_point deadline;
        Clock::time_point nextByte; // with slowMs
    };

    std::unique_ptr<Image> makeImage(std::string bytes);
    void accept();
    void read(Connection &c);
    void write(Connection &c);
    void drain(Connection &c);
    void answer(Connection &c);
    void close(Connection &c);
    std::string storedReply(std::string_view name, std::string &outcome) const;

    WebSettings settings_;
    DevsimLog &log_;
    int listen_ = -1;
    std::unique_ptr<Image> held_;
    std::unique_ptr<Image> previous_;
    std::vector<Connection> connections_;
};

} // namespace devsim
