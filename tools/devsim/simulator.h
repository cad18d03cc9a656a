// One simulated device: answers queries on its UDP port, takes IP-SETUP, restarts after an
// upload, serves its web file over HTTP. A single-threaded poll loop; every delay is a timer of
// that loop.
#pragma once

#include "tools/devsim/devsimconfig.h"
#include "tools/devsim/devsimlog.h"
#include "tools/devsim/devsimprotocol.h"
#include "tools/devsim/linkcontrol.h"
#include "tools/devsim/webserver.h"

#include <chrono>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

class Simulator {
public:
    Simulator(Config config, DevsimLog &log, LinkControl &link);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Binds the port, starts the upload watch and the web server. Returns an error text, empty
    // on success.
    std::string open();
    // The bound port (the configured one, or the one the system chose for port 0).
    std::uint16_t localPort() const;
    // The web server's TCP port; 0 when it is off.
    std::uint16_t httpPort() const { return web_.localPort(); }
    // Runs until SIGTERM or SIGINT (blocked by the caller and read here through a signalfd),
    // or until anything can be read from stopFd.
    int run(int stopFd);

private:
    using Clock = std::chrono::steady_clock;
    enum class TimerKind { Reply, LinkDown, LinkUp, Flood };
    struct Timer {
        Clock::time_point due;
        TimerKind kind;
        Bytes data;
        sockaddr_in to{};
        const char *replyKind = "";
    };

    void readDatagram();
    void handle(const Bytes &datagram, const sockaddr_in &from);
    void sendReply(const Bytes &data, const sockaddr_in &to, const char *kind);
    // The own discovery reply and those of the fake MACs.
    std::vector<Bytes> discoveryReplies() const;
    void startFlood(const sockaddr_in &to);
    void flood(const sockaddr_in &to);
    void readUploads();
    void fire(Timer timer);
    int pollTimeoutMs() const;

    Config config_;
    DevsimLog &log_;
    LinkControl &link_;
    int socket_ = -1;
    int inotify_ = -1;
    bool restarting_ = false;
    std::vector<Timer> timers_;
    std::map<std::string, Clock::time_point> lastActivity_; // of WEB1 and X5
    WebServer web_;
    std::optional<std::string> uploadedWeb_;              // taken into service by the next restart
    std::map<std::string, Clock::time_point> floodUntil_; // by the searcher's endpoint
    int infoCredit_ = 1; // info queries still answered since the last discovery (fake MACs)
    std::vector<Bytes> discoveryReplies_; // built once: a flood sends them again and again
};

std::string endpointText(const sockaddr_in &address);

} // namespace devsim
