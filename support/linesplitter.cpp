#include "support/linesplitter.h"

void TLineSplitter::Feed(const char *data, qsizetype size, TLineSink &sink,
                         const std::atomic<bool> *stop) {
    QByteArray current = std::move(FTail);
    FTail.clear();
    qsizetype i = 0;
    while (i < size) {
        // Copy a run of ordinary bytes in one step; only 0, LF and CR need a decision.
        qsizetype j = i;
        while (j < size && data[j] != '\n' && data[j] != '\r' && data[j] != '\0')
            ++j;
        current.append(data + i, j - i);
        if (j == size)
            break;
        const char c = data[j];
        i = j + 1;
        if (c == '\0')
            continue;
        if (c == '\r' && i < size && data[i] == '\n')
            ++i;
        sink.WholeLine(current);
        current.clear();
        if (stop && stop->load(std::memory_order_relaxed))
            break;
    }
    FTail = std::move(current);
    if (!FTail.isEmpty())
        sink.PartialLine(FTail);
}

void TLineSplitter::Finish(TLineSink &sink) {
    if (FTail.isEmpty())
        return;
    const QByteArray tail = std::move(FTail);
    FTail.clear();
    sink.WholeLine(tail);
}
