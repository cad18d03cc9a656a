// The datagrams a device understands and the replies it builds, without any socket.
#pragma once

#include "tools/devsim/devsimconfig.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devsim {

using Bytes = std::vector<std::uint8_t>;

enum class Query { Discovery, Info, Legacy, IpSetup, Unknown };

// Queries are exactly four bytes; IP-SETUP is recognised by its 14-byte header alone, so that
// a datagram of the wrong length still shows up in the log as what it tried to be.
Query classify(const Bytes &datagram);
const char *queryName(Query query);

Bytes discoveryReply(const Config &config);
Bytes infoReply(const Config &config);
Bytes legacyReply(const Config &config);
// The reply to a query with the configured length applied (cut or padded with zero bytes).
Bytes replyFor(Query query, const Config &config);

struct IpSetup {
    std::array<std::uint8_t, 2> macTail{};
    std::array<std::uint8_t, 4> address{};
};

// The 20-byte IP-SETUP datagram; any other length or header gives nothing.
std::optional<IpSetup> parseIpSetup(const Bytes &datagram);
bool addressedTo(const IpSetup &setup, const Config &config);
// A device only takes a unicast address it can live on: not 0.x.x.x, 127.x.x.x, multicast,
// reserved or broadcast. Taking any other would leave it unreachable for good.
bool usableAddress(const std::array<std::uint8_t, 4> &address);

std::string addressText(const std::array<std::uint8_t, 4> &address);
// Upper-case hex of the first maxBytes bytes, "..." appended when cut.
std::string hexText(const Bytes &data, std::size_t maxBytes = 64);

} // namespace devsim
