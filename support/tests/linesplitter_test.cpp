#include "support/linesplitter.h"
#include "tools/testsupport/printers.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

struct TCollect : TLineSink {
    QList<QByteArray> Events;
    void WholeLine(const QByteArray &line) override { Events << "W:" + line; }
    void PartialLine(const QByteArray &tail) override { Events << "P:" + tail; }
};

QList<QByteArray> Split(const QList<QByteArray> &reads) {
    TLineSplitter splitter;
    TCollect sink;
    for (const QByteArray &read : reads)
        splitter.Feed(read.constData(), read.size(), sink);
    splitter.Finish(sink);
    return sink.Events;
}

} // namespace

TEST(LineSplitter, LineEndsWithinAndAcrossReads) {
    using L = QList<QByteArray>;
    EXPECT_EQ(Split({"a\r\nb\n"}), (L{"W:a", "W:b"}));
    EXPECT_EQ(Split({"a\rb"}), (L{"W:a", "P:b", "W:b"}));
    EXPECT_EQ(Split({"a\n\n"}), (L{"W:a", "W:"}));
    EXPECT_EQ(Split({"\r\r\n\n"}), (L{"W:", "W:", "W:"}));
    // Each read is split on its own: CR at the end of one, LF at the start of the next.
    EXPECT_EQ(Split({"a\r", "\nb\n"}), (L{"W:a", "W:", "W:b"}));
    // A line spread over reads is reported as it grows, then once whole.
    EXPECT_EQ(Split({"5", "0%", "\n"}), (L{"P:5", "P:50%", "W:50%"}));
    EXPECT_EQ(Split({QByteArray("\0x\0", 3), QByteArray("y\0\n", 3)}), (L{"P:x", "W:xy"}));
    EXPECT_EQ(Split({QByteArray("\0", 1)}), L{});
    EXPECT_EQ(Split({}), L{});
}

TEST(LineSplitter, StopRequestDropsTheRestOfTheRead) {
    TLineSplitter splitter;
    TCollect sink;
    std::atomic<bool> stop{true};
    const QByteArray read = "one\ntwo\nthr";
    splitter.Feed(read.constData(), read.size(), sink, &stop);
    EXPECT_EQ(sink.Events, QList<QByteArray>{"W:one"});
}
