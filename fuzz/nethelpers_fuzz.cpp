// The address texts a technician types: IPv4 addresses, ranges, MAC addresses, hexadecimal.
#include "discovery/relynnetwork.h"
#include "discovery/relynsearch.h"
#include "fuzz/fuzzcheck.h"
#include "ipassign/relynipchange.h"
#include "support/nethelpers.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace {

void Address(const QString &text) {
    QString normal = text;
    std::array<unsigned char, 4> bytes{};
    const bool valid = NormalizeIPText(normal);
    FUZZ_REQUIRE(IPTextToBytes(text, bytes) == valid);
    if (!valid)
        return;
    // The normal form is a fixed point, and it is the form the discovery code writes.
    QString again = normal;
    FUZZ_REQUIRE(NormalizeIPText(again) && again == normal);
    const std::uint32_t value =
        std::uint32_t{bytes[0]} << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    FUZZ_REQUIRE(RelynAddressText(value) == normal);
    std::uint32_t parsed = 0;
    FUZZ_REQUIRE(RelynParseAddress(normal, parsed) && parsed == value);
}

void Range(const QString &text) {
    TRelynRange range;
    QString error;
    if (RelynParseRange(text, range, error))
        FUZZ_REQUIRE(range.Count() >= 1 && range.Count() <= qint64{1} << 32);
    else
        FUZZ_REQUIRE(!error.isEmpty());
}

void Mac(const QString &text) {
    const QString canonical = RelynCanonicalMac(text);
    if (!IsMacText(text)) {
        FUZZ_REQUIRE(canonical == text);
        return;
    }
    FUZZ_REQUIRE(IsMacText(canonical) && RelynCanonicalMac(canonical) == canonical);
    const QStringList groups = RelynMacGroups(text);
    FUZZ_REQUIRE(groups.size() == 6);
    try {
        const QByteArray datagram = RelynIPSetupDatagram(text, QStringLiteral("192.0.2.10"));
        FUZZ_REQUIRE(datagram.endsWith(QByteArray("\xC0\x00\x02\x0A", 4)));
    } catch (const EConvertError &) {
    }
    // Of one or two digits a group, the form the neighbour table takes is the canonical one.
    if (std::all_of(groups.begin(), groups.end(), [](const QString &g) { return g.size() <= 2; }))
        FUZZ_REQUIRE(RelynLinkLayerAddress(text).toUpper().replace(u':', u'-') == canonical);
}

void Hex(const QString &text) {
    try {
        const QByteArray bytes = HexTextToBytes(text);
        FUZZ_REQUIRE(bytes.size() == (text.size() + 1) / 2);
    } catch (const EConvertError &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    Address(text);
    Range(text);
    Mac(text);
    Hex(text);
    return 0;
}
