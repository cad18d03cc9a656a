#include "tools/devsim/devsimprotocol.h"

#include <algorithm>
#include <cstring>

namespace devsim {
namespace {

constexpr std::size_t blockSize = 130;
constexpr std::size_t descriptionBytes = 65;
const std::uint8_t ipSetupHeader[14] = {0x00, 0x00, 0x00, 0xFC, 'I', 'P',  '-',
                                        'S',  'E',  'T',  'U',  'P', 0x00, 0x00};

Bytes header(std::size_t size, std::uint8_t code) {
    Bytes bytes(size, 0);
    bytes[3] = code;
    return bytes;
}

// A description shorter than the field ends with a zero byte; a longer one fills it whole.
void putDescription(Bytes &block, std::size_t offset, const std::string &text) {
    const std::size_t count = std::min(text.size(), descriptionBytes);
    std::memcpy(block.data() + offset, text.data(), count);
}

} // namespace

Query classify(const Bytes &d) {
    if (d.size() == 4 && d[0] == 0 && d[1] == 0 && d[2] == 0) {
        switch (d[3]) {
        case 0xF6:
            return Query::Discovery;
        case 0xE4:
            return Query::Info;
        case 0xE6:
            return Query::Legacy;
        default:
            break;
        }
    }
    if (d.size() >= sizeof ipSetupHeader &&
        std::equal(std::begin(ipSetupHeader), std::end(ipSetupHeader), d.begin())) {
        return Query::IpSetup;
    }
    return Query::Unknown;
}

const char *queryName(Query query) {
    switch (query) {
    case Query::Discovery:
        return "discovery";
    case Query::Info:
        return "info";
    case Query::Legacy:
        return "legacy";
    case Query::IpSetup:
        return "ipsetup";
    case Query::Unknown:
        break;
    }
    return "unknown";
}

Bytes discoveryReply(const Config &config) {
    Bytes reply = header(30, 0xF7);
    std::copy(config.mac.begin(), config.mac.end(), reply.begin() + 24);
    return reply;
}

Bytes infoReply(const Config &config) {
    Bytes block = header(blockSize, 0xE5);
    putDescription(block, 4, config.description);
    block[82] = config.family;
    block[83] = config.firmware[0];
    block[84] = config.firmware[1];
    block[85] = config.firmware[2];
    block[86] = config.model;
    return block;
}

Bytes legacyReply(const Config &config) {
    Bytes block = header(blockSize, 0xE7);
    putDescription(block, 36,
                   config.legacyDescription.empty() ? config.description
                                                    : config.legacyDescription);
    return block;
}

Bytes replyFor(Query query, const Config &config) {
    Bytes reply;
    int length = -1;
    switch (query) {
    case Query::Discovery:
        reply = discoveryReply(config);
        length = config.discovery.length;
        break;
    case Query::Info:
        reply = infoReply(config);
        length = config.info.length;
        break;
    case Query::Legacy:
        reply = legacyReply(config);
        length = config.legacy.length;
        break;
    default:
        return {};
    }
    if (length >= 0) {
        reply.resize(static_cast<std::size_t>(length), 0);
    }
    return reply;
}

std::optional<IpSetup> parseIpSetup(const Bytes &d) {
    if (d.size() != 20 || classify(d) != Query::IpSetup) {
        return std::nullopt;
    }
    IpSetup setup;
    std::copy(d.begin() + 14, d.begin() + 16, setup.macTail.begin());
    std::copy(d.begin() + 16, d.begin() + 20, setup.address.begin());
    return setup;
}

bool addressedTo(const IpSetup &setup, const Config &config) {
    return setup.macTail[0] == config.mac[4] && setup.macTail[1] == config.mac[5];
}

bool usableAddress(const std::array<std::uint8_t, 4> &a) {
    return a[0] != 0 && a[0] != 127 && a[0] < 224;
}

std::string addressText(const std::array<std::uint8_t, 4> &a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

std::string hexText(const Bytes &data, std::size_t maxBytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t count = std::min(data.size(), maxBytes);
    text.reserve(count * 2 + 3);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    if (count < data.size()) {
        text += "...";
    }
    return text;
}

} // namespace devsim
