#include "tools/devsim/devsimconfig.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <fstream>

namespace devsim {
namespace {

bool parseInt(std::string_view text, long long low, long long high, long long &out) {
    if (text.empty()) {
        return false;
    }
    long long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

std::string badValue(std::string_view key, std::string_view value, std::string_view expected) {
    return "bad value \"" + std::string(value) + "\" for " + std::string(key) + " (expected " +
           std::string(expected) + ")";
}

// Splits at any of the separators; used for MAC and firmware texts.
std::vector<std::string_view> split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || separators.find(text[i]) != std::string_view::npos) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

bool parseMac(std::string_view text, std::array<std::uint8_t, 6> &mac) {
    auto parts = split(text, ":-");
    if (parts.size() != 6) {
        return false;
    }
    std::array<std::uint8_t, 6> bytes{};
    for (std::size_t i = 0; i < 6; ++i) {
        unsigned value = 0;
        auto [end, ec] =
            std::from_chars(parts[i].data(), parts[i].data() + parts[i].size(), value, 16);
        if (parts[i].size() != 2 || ec != std::errc() || end != parts[i].data() + 2) {
            return false;
        }
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    mac = bytes;
    return true;
}

bool parseFlag(std::string_view value, bool &out) {
    if (value.empty() || value == "1" || value == "true" || value == "yes" || value == "on") {
        out = true;
        return true;
    }
    if (value == "0" || value == "false" || value == "no" || value == "off") {
        out = false;
        return true;
    }
    return false;
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool isFlag(std::string_view key) {
    return key == "no-info" || key == "no-legacy" || key == "no-discovery" ||
           key == "duplicate-discovery" || key == "zero-length-reply" || key == "oversized-reply" ||
           key == "ignore-ipsetup" || key == "no-http" || key == "http-previous" ||
           key == "http-close-early" || key == "http-huge" || key == "http-redirect";
}

bool takesValue(std::string_view key) {
    static constexpr std::string_view keys[] = {"mac",
                                                "family",
                                                "model",
                                                "firmware",
                                                "description",
                                                "legacy-description",
                                                "port",
                                                "interface",
                                                "tftp-dir",
                                                "log",
                                                "pid-file",
                                                "restart-ms",
                                                "restart-after-ms",
                                                "upload-idle-ms",
                                                "netns",
                                                "address",
                                                "delay-ms",
                                                "config",
                                                "bind",
                                                "http-port",
                                                "web-file",
                                                "http-drop",
                                                "http-corrupt",
                                                "http-slow-ms",
                                                "flood-ms",
                                                "flood-for-ms",
                                                "fake-macs"};
    for (auto known : keys) {
        if (key == known) {
            return true;
        }
    }
    for (std::string_view kind : {"discovery-", "info-", "legacy-"}) {
        if (key.starts_with(kind)) {
            const auto rest = key.substr(kind.size());
            return rest == "length" || rest == "copies" || rest == "delay-ms";
        }
    }
    return false;
}

} // namespace

std::string applySetting(Config &config, std::string_view key, std::string_view value) {
    long long number = 0;
    auto byteSetting = [&](std::uint8_t &target) -> std::string {
        if (!parseInt(value, 0, 255, number)) {
            return badValue(key, value, "0 to 255");
        }
        target = static_cast<std::uint8_t>(number);
        return {};
    };
    auto intSetting = [&](int &target, long long low, long long high) -> std::string {
        if (!parseInt(value, low, high, number)) {
            return badValue(key, value, std::to_string(low) + " to " + std::to_string(high));
        }
        target = static_cast<int>(number);
        return {};
    };
    auto shapeSetting = [&](std::string_view kind, ReplyShape &shape) -> std::string {
        const std::string prefix = std::string(kind) + "-";
        if (key == prefix + "length") {
            return intSetting(shape.length, 0, maxDatagram);
        }
        if (key == prefix + "copies") {
            return intSetting(shape.copies, 0, 100);
        }
        if (key == prefix + "delay-ms") {
            return intSetting(shape.delayMs, 0, 60000);
        }
        return "unknown setting " + std::string(key);
    };

    if (isFlag(key)) {
        bool on = false;
        if (!parseFlag(value, on)) {
            return badValue(key, value, "no value or one of 1, 0, true, false");
        }
        if (key == "no-info") {
            config.info.copies = on ? 0 : 1;
        } else if (key == "no-legacy") {
            config.legacy.copies = on ? 0 : 1;
        } else if (key == "no-discovery") {
            config.discovery.copies = on ? 0 : 1;
        } else if (key == "duplicate-discovery") {
            config.discovery.copies = on ? 2 : 1;
        } else if (key == "zero-length-reply") {
            config.discovery.length = on ? 0 : -1;
        } else if (key == "oversized-reply") {
            config.discovery.length = on ? 9000 : -1;
        } else if (key == "ignore-ipsetup") {
            config.acceptIpSetup = !on;
        } else if (key == "no-http") {
            config.web.enabled = !on;
        } else if (key == "http-previous") {
            config.web.previous = on;
        } else if (key == "http-close-early") {
            config.web.closeEarly = on;
        } else if (key == "http-huge") {
            config.web.huge = on;
        } else if (key == "http-redirect") {
            config.web.redirect = on;
        }
        return {};
    }
    if (key == "mac") {
        return parseMac(value, config.mac)
                   ? std::string()
                   : badValue(key, value, "six hex pairs, 02:00:00:00:00:01");
    }
    if (key == "family") {
        return byteSetting(config.family);
    }
    if (key == "model") {
        return byteSetting(config.model);
    }
    if (key == "firmware") {
        auto parts = split(value, ".-");
        std::array<std::uint8_t, 3> numbers{};
        if (parts.size() != 3) {
            return badValue(key, value, "three numbers, 4.5.0");
        }
        for (std::size_t i = 0; i < 3; ++i) {
            if (!parseInt(parts[i], 0, 255, number)) {
                return badValue(key, value, "three numbers 0 to 255, 4.5.0");
            }
            numbers[i] = static_cast<std::uint8_t>(number);
        }
        config.firmware = numbers;
        return {};
    }
    if (key == "description") {
        config.description = std::string(value);
        return {};
    }
    if (key == "legacy-description") {
        config.legacyDescription = std::string(value);
        return {};
    }
    if (key == "port") {
        int port = 0;
        auto error = intSetting(port, 1, 65535);
        config.port = static_cast<std::uint16_t>(port);
        return error;
    }
    if (key == "http-port") {
        int port = 0;
        auto error = intSetting(port, 1, 65535);
        config.web.port = static_cast<std::uint16_t>(port);
        return error;
    }
    if (key == "web-file") {
        config.web.webFile = std::string(value);
        return {};
    }
    if (key == "http-drop" || key == "http-corrupt") {
        if (value.empty()) {
            return badValue(key, value, "an entry name");
        }
        (key == "http-drop" ? config.web.drop : config.web.corrupt) = std::string(value);
        return {};
    }
    if (key == "http-slow-ms") {
        return intSetting(config.web.slowMs, 0, 60000);
    }
    if (key == "flood-ms") {
        return intSetting(config.floodMs, 0, 60000);
    }
    if (key == "flood-for-ms") {
        return intSetting(config.floodForMs, 1, 600000);
    }
    if (key == "fake-macs") {
        return intSetting(config.fakeMacs, 0, 4095);
    }
    if (key == "bind") {
        in_addr parsed{};
        if (::inet_pton(AF_INET, std::string(value).c_str(), &parsed) != 1) {
            return badValue(key, value, "an IPv4 address");
        }
        config.bindAddress = std::string(value);
        return {};
    }
    if (key == "address") {
        in_addr parsed{};
        if (::inet_pton(AF_INET, std::string(value).c_str(), &parsed) != 1) {
            return badValue(key, value, "an IPv4 address");
        }
        config.address = std::string(value);
        return {};
    }
    if (key == "interface") {
        if (value.empty() || value.size() > 15) {
            return badValue(key, value, "an interface name of 1 to 15 characters");
        }
        config.interfaceName = std::string(value);
        return {};
    }
    if (key == "netns") {
        if (value.empty() || value.find('/') != std::string_view::npos) {
            return badValue(key, value, "a namespace name from /run/netns");
        }
        config.netns = std::string(value);
        return {};
    }
    if (key == "tftp-dir") {
        config.tftpDir = std::string(value);
        return {};
    }
    if (key == "log") {
        config.logPath = std::string(value);
        return {};
    }
    if (key == "pid-file") {
        config.pidFile = std::string(value);
        return {};
    }
    if (key == "restart-ms") {
        return intSetting(config.restartMs, 0, 600000);
    }
    if (key == "upload-idle-ms") {
        return intSetting(config.uploadIdleMs, 1, 600000);
    }
    if (key == "restart-after-ms") {
        return intSetting(config.restartAfterMs, 0, 60000);
    }
    if (key == "delay-ms") {
        int delay = 0;
        auto error = intSetting(delay, 0, 60000);
        if (error.empty()) {
            config.discovery.delayMs = config.info.delayMs = config.legacy.delayMs = delay;
        }
        return error;
    }
    if (key.starts_with("discovery-")) {
        return shapeSetting("discovery", config.discovery);
    }
    if (key.starts_with("info-")) {
        return shapeSetting("info", config.info);
    }
    if (key.starts_with("legacy-")) {
        return shapeSetting("legacy", config.legacy);
    }
    return "unknown setting " + std::string(key);
}

std::string readConfigFile(Config &config, const std::string &path) {
    std::ifstream in(path);
    if (!in) {
        return "cannot read config file " + path;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string_view text = trim(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const auto equals = text.find('=');
        const std::string_view key = trim(text.substr(0, equals));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : trim(text.substr(equals + 1));
        if (key == "config") {
            return path + ":" + std::to_string(lineNumber) + ": config files do not nest";
        }
        auto error = applySetting(config, key, value);
        if (!error.empty()) {
            return path + ":" + std::to_string(lineNumber) + ": " + error;
        }
    }
    return {};
}

ParseResult parseCommandLine(const std::vector<std::string> &args) {
    ParseResult result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (!arg.starts_with("--") || arg.size() == 2) {
            result.error = "unexpected argument \"" + std::string(arg) + "\"";
            return result;
        }
        arg.remove_prefix(2);
        std::string_view key = arg;
        std::string value;
        bool hasValue = false;
        if (const auto equals = arg.find('='); equals != std::string_view::npos) {
            key = arg.substr(0, equals);
            value = std::string(arg.substr(equals + 1));
            hasValue = true;
        } else if (!isFlag(key)) {
            if (!takesValue(key)) {
                result.error = "unknown option --" + std::string(key);
                return result;
            }
            if (i + 1 >= args.size()) {
                result.error = "--" + std::string(key) + " needs a value";
                return result;
            }
            value = args[++i];
            hasValue = true;
        }
        (void)hasValue;
        std::string error = key == "config" ? readConfigFile(result.config, value)
                                            : applySetting(result.config, key, value);
        if (!error.empty()) {
            result.error = error;
            return result;
        }
    }
    return result;
}

std::string macText(const std::array<std::uint8_t, 6> &mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::string usageText() {
    return R"(Usage: devsim [OPTIONS]
Simulates one measuring device on UDP port 30718 and TCP port 80 of its network namespace.

Identity:
  --mac 02:00:00:00:00:01   MAC address (bytes 24 to 29 of the discovery reply)
  --family N                family byte (0 to 255), default 1
  --firmware A.B.C          firmware numbers, default 4.5.0
  --model N                 model byte, default 0
  --description TEXT        description in the info reply (first 65 bytes)
  --legacy-description TEXT description in the legacy reply, default the description
Faults, per reply kind KIND = discovery, info or legacy:
  --KIND-length N           send N bytes instead of 30 or 130 (0 to 65507)
  --KIND-copies N           answer N times (0: no answer)
  --KIND-delay-ms N         answer after N ms
  --delay-ms N              delay every answer
  --no-info, --no-legacy, --no-discovery, --duplicate-discovery,
  --zero-length-reply (discovery reply of 0 bytes), --oversized-reply (9000 bytes),
  --ignore-ipsetup
  --flood-ms N              answer every discovery query again every N ms (0: off)
  --flood-for-ms N          for this long after the query, default 3000
  --fake-macs N             answer discovery as N other MACs too (02-FA-00-00-Fx-xx, up to
                            4095), and one info query only
Web server (TCP port 80, each entry's stored reply byte for byte, from the WEB1 taken at the
last restart):
  --web-file FILE           web file held from the start, as if uploaded before
  --no-http                 no web server: connections are refused
  --http-previous           serve the web file held before the last upload
  --http-drop NAME          answer 404 for this entry
  --http-corrupt NAME       change a byte in the middle of this entry's body
  --http-close-early        send half of every reply, then close
  --http-slow-ms N          send every reply one byte per N ms
  --http-huge               follow every reply with 64 MiB of filler
  --http-redirect           answer every request with a redirect (302)
  --http-port N             TCP port of the web server, default 80
Environment:
  --port N                  UDP port, default 30718
  --bind ADDRESS            listen on this address only, default all (0.0.0.0)
  --interface NAME          link to move and restart, default eth0
  --netns NAME              enter the network namespace /run/netns/NAME first
  --address A.B.C.D         bring the link up with this address (/24) and a default route
  --tftp-dir DIR            restart when a complete WEB1 or X5 lands here
  --restart-ms N            link down time of a restart, default 5000
  --restart-after-ms N      pause before the link goes down, default 300
  --upload-idle-ms N        an upload closed this long after its last write was abandoned
                            by the TFTP server and restarts nothing, default 2000
  --log FILE                append one line per datagram and action (default stderr)
  --pid-file FILE           written once the device listens
  --config FILE             "key = value" lines with the option names above
)";
}

} // namespace devsim
