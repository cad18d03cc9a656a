// Settings of one simulated device: identity, behaviour and the faults tests ask for.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

// How the device answers one kind of query. The defaults give a well-behaved device.
struct ReplyShape {
    int length = -1; // bytes to send; -1 keeps the kind's own length
    int copies = 1;  // datagrams per query; 0 leaves the query unanswered
    int delayMs = 0; // pause between the query and the answer
};

// The web server on TCP and the faults tests ask of it. The defaults serve every entry's stored
// reply from the web file the device took at its last restart.
struct WebSettings {
    bool enabled = true;
    std::uint16_t port = 80; // 0: any free port (tests)
    std::string webFile;     // held from the start, as if uploaded before; empty: none
    bool previous = false;   // serve the web file held before the last upload
    std::string drop;        // this entry is answered with 404
    std::string corrupt;     // this entry's body has a byte changed
    bool closeEarly = false; // half of every reply, then the connection ends
    int slowMs = 0;          // every reply one byte per slowMs
    bool huge = false;       // every reply followed by 64 MiB of filler
    bool redirect = false;   // every request answered with a redirect
};

struct Config {
    std::array<std::uint8_t, 6> mac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::uint8_t family = 1;
    std::array<std::uint8_t, 3> firmware{4, 5, 0};
    std::uint8_t model = 0;
    std::string description = "Simulated device";
    std::string legacyDescription; // empty: the same as description
    std::uint16_t port = 30718;    // 0: any free port (tests)
    // The simulator listens on every address of its namespace; tests of the simulator itself
    // bind it to 127.0.0.1.
    std::string bindAddress = "0.0.0.0";
    std::string interfaceName = "eth0";
    std::string netns;    // named network namespace to enter first (/run/netns/NAME)
    std::string address;  // set on the link at start (/24, default route); empty: as it is
    std::string tftpDir;  // empty: no upload watch, no restarts
    std::string logPath;  // empty: log lines go to standard error
    std::string pidFile;  // written once the device listens
    int restartMs = 5000; // how long the link stays down after an upload
    // Pause between a complete upload and the link going down, so that the TFTP server's last
    // acknowledgement still reaches the client.
    int restartAfterMs = 300;
    // A closed upload whose last write lies further back than this was abandoned by the
    // server after its time-out, not finished: it does not restart the device.
    int uploadIdleMs = 2000;
    bool acceptIpSetup = true;
    ReplyShape discovery;
    ReplyShape info;
    ReplyShape legacy;
    // A flood: every discovery query is answered again every floodMs (0: never) for floodForMs.
    int floodMs = 0;
    int floodForMs = 3000;
    // Discovery is also answered as this many other MACs (02-FA-00-00-Fx-xx), for which the
    // device answers no info query: after a discovery query it answers one info query only.
    int fakeMacs = 0;
    WebSettings web;
};

// Largest payload of one UDP datagram over IPv4.
inline constexpr int maxDatagram = 65507;

// Applies one setting by its long option name ("family", "no-info", ...). A flag takes an empty
// value or one of 1/0/true/false/yes/no. Returns an error text, empty on success.
std::string applySetting(Config &config, std::string_view key, std::string_view value);

// Reads "key = value" lines ('#' starts a comment, a flag may stand alone). Returns an error
// text naming the file and line, empty on success.
std::string readConfigFile(Config &config, const std::string &path);

struct ParseResult {
    Config config;
    std::string error; // non-empty: the command line is unusable
    bool help = false;
};

// Command line: "--key value", "--key=value", bare flags, "--config FILE" (applied where it
// stands, so later options override the file), "--help".
ParseResult parseCommandLine(const std::vector<std::string> &args);

std::string usageText();

// "02-00-00-00-00-01": the form the log and Quillet use.
std::string macText(const std::array<std::uint8_t, 6> &mac);

} // namespace devsim
