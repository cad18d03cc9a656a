#pragma once

#include <QByteArray>

#include <atomic>

// Receives what TLineSplitter makes of a child's output.
class TLineSink {
public:
    virtual ~TLineSink() = default;
    // A finished line (the line end removed).
    virtual void WholeLine(const QByteArray &line) = 0;
    // The unfinished text at the end of one read; the same text comes again, longer or
    // finished, later.
    virtual void PartialLine(const QByteArray &tail) = 0;
};

// Splits a byte stream into lines, read by read. LF, CR and CR LF end a line; a CR that ends one
// read and an LF that begins the next give an extra empty line, because each read is split on
// its own. Zero bytes are dropped.
class TLineSplitter {
public:
    // Splits one read. When stop becomes set the scan ends at the next line end and the rest of
    // the read is dropped.
    void Feed(const char *data, qsizetype size, TLineSink &sink,
              const std::atomic<bool> *stop = nullptr);
    // Delivers the unfinished tail, if any, as a finished line.
    void Finish(TLineSink &sink);

    const QByteArray &PendingTail() const { return FTail; }

private:
    QByteArray FTail;
};
