// A search whose devices answer with any datagrams. The input is a script of datagrams, each a
// length byte and that many bytes; length 255 is a silence. The broadcast brings every
// datagram up to the first silence, each query after it the next one.
#include "discovery/relynerror.h"
#include "discovery/relynsearch.h"
#include "fuzz/fuzzcheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace {

class ScriptedDevices final : public TRelynEndpoint {
public:
    ScriptedDevices(const std::uint8_t *data, std::size_t size)
        : Data(data)
        , Size(size) {}

    void SetRemoteHost(const QString &host) override { Host = host; }
    void SetRemotePort(std::uint16_t) override {}
    void Broadcast(const QByteArray &, std::uint16_t) override {
        for (int device = 10; const auto reply = Next(); ++device)
            Inbox.push_back(
                {*reply, QStringLiteral("192.0.2.%1").arg(device), RelynDevicePort, true});
    }
    void Send(const QByteArray &) override {
        if (const auto reply = Next())
            Inbox.push_back({*reply, Host, RelynDevicePort, true});
    }
    TRelynDatagram Receive(int) override {
        if (Inbox.empty())
            return {};
        TRelynDatagram datagram = Inbox.front();
        Inbox.pop_front();
        return datagram;
    }

private:
    std::optional<QByteArray> Next() {
        if (Position >= Size)
            return std::nullopt;
        const std::size_t length = Data[Position++];
        if (length == 255)
            return std::nullopt;
        const std::size_t taken = std::min(length, Size - Position);
        const QByteArray datagram(reinterpret_cast<const char *>(Data + Position),
                                  static_cast<qsizetype>(taken));
        Position += taken;
        return datagram;
    }

    const std::uint8_t *Data;
    std::size_t Size;
    std::size_t Position = 0;
    QString Host;
    std::deque<TRelynDatagram> Inbox;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    TRelynSearch search([data, size] { return std::make_unique<ScriptedDevices>(data, size); });
    try {
        search.Search();
    } catch (const ERelynError &) {
        // A zero-length datagram ends a search with an error, as it should.
        return 0;
    }
    // Every datagram the broadcast brought is a device of its own.
    qsizetype replies = 0;
    for (std::size_t i = 0; i < size && data[i] != 255; i += 1 + data[i])
        ++replies;
    FUZZ_REQUIRE(search.Count() == replies);
    for (const TRelynPar &record : search.Results()) {
        FUZZ_REQUIRE(record.MACAddress == RelynNotAvailable || record.MACAddress.size() == 17);
        FUZZ_REQUIRE(record.Firmware == RelynNotAvailable || record.Firmware.size() >= 8);
        FUZZ_REQUIRE(record.Description.size() <= RelynReply::DescriptionLength);
    }
    return 0;
}
