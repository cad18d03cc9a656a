// Command-line splitting and quoting on any text.
#include "fuzz/fuzzcheck.h"
#include "support/commandline.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // Any text, taken as one word, comes back whole from the line its quoting gives.
    FUZZ_REQUIRE(SplitCommandLine(QuoteArgument(text)) == QStringList{text});

    // The words of any line, each quoted and joined by blanks, split into the same words.
    const QStringList words = SplitCommandLine(text);
    QStringList quoted;
    for (const QString &word : words)
        quoted << QuoteArgument(word);
    FUZZ_REQUIRE(SplitCommandLine(quoted.join(u' ')) == words);
    FUZZ_REQUIRE(SplitCommandLine(quoted.join(u'\t')) == words);
    return 0;
}
