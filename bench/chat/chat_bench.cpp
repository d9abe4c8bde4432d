// The conversation must stay cheap to extend however long it grows, and a busy room must
// not freeze the window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <chrono>
#include <ctime>

#include "net/codec.h"
#include "net/protocol.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

namespace {

// A shown main window whose conversation holds `lines` lines.
struct Conversation {
    explicit Conversation(int lines) {
        t.w().SetUp();
        t.w().show();
        QString block;
        for (int i = 0; i < lines; ++i)
            block += QStringLiteral("someone: a line of ordinary chat number %1\n").arg(i);
        t.w().m_chatDisplay->setPlainText(block);
        QCoreApplication::processEvents();
    }
    // Appends one line and returns its cost; the line is then taken away again (not
    // timed) so that the conversation keeps its length.
    double TimedAppend() {
        QElapsedTimer clock;
        clock.start();
        t.w().AppendChatLine(QStringLiteral("someone: the line being measured"));
        const double seconds = clock.nsecsElapsed() / 1e9;
        QTextCursor c(t.w().m_chatDisplay->document());
        c.movePosition(QTextCursor::End);
        c.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        return seconds;
    }
    TestWindow t;
};

void BM_AppendChatLine(benchmark::State& state) {
    Conversation conv(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.SetIterationTime(conv.TimedAppend());
        QCoreApplication::processEvents();  // the scroll and repaint of each line
    }
}
BENCHMARK(BM_AppendChatLine)->Arg(0)->Arg(99999)->UseManualTime();

// The first line against the 100,000th, measured alternately so that both see the same
// machine load; the counter "ratio" is the 100,000th's cost over the first's.
void BM_AppendRatio(benchmark::State& state) {
    Conversation empty(0);
    Conversation full(99999);
    double first = 0;
    double last = 0;
    for (auto _ : state) {
        first += empty.TimedAppend();
        const double one = full.TimedAppend();
        last += one;
        state.SetIterationTime(one);
        QCoreApplication::processEvents();
    }
    state.counters["ratio"] = last / first;
}
BENCHMARK(BM_AppendRatio)->Iterations(2000)->UseManualTime();

// The time this thread has run, which the other programs on a busy machine do not inflate.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

struct Cost {
    double wall = 0;
    double cpu = 0;
    Cost& operator+=(const Cost& o) {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

// Gives the conversation display a new width, so that every line shown rewraps, and runs
// the event loop until the display has laid out and painted what it shows.
Cost TimedRelayout(Conversation& conv, int width) {
    QPlainTextEdit* display = conv.t.w().m_chatDisplay;
    const double cpu = ThreadSeconds();
    QElapsedTimer clock;
    clock.start();
    display->resize(width, display->height());
    QCoreApplication::processEvents();
    display->viewport()->repaint();
    return {clock.nsecsElapsed() / 1e9, ThreadSeconds() - cpu};
}

// A resize with 100,000 lines against the same resize of an empty conversation, measured
// alternately so that both see the same machine load. The counters "ratio" (elapsed time)
// and "cpu_ratio" (this thread's processor time) are the full conversation's cost over the
// empty one's.
void BM_RelayoutRatio(benchmark::State& state) {
    Conversation empty(0);
    Conversation full(100000);
    // Two widths that wrap the lines differently; the display starts at neither.
    const int widths[] = {260, 420};
    int turn = 0;
    Cost emptyTotal;
    Cost fullTotal;
    for (auto _ : state) {
        const int width = widths[turn++ % 2];
        emptyTotal += TimedRelayout(empty, width);
        const Cost one = TimedRelayout(full, width);
        fullTotal += one;
        state.SetIterationTime(one.wall);
    }
    const double n = double(state.iterations());
    state.counters["ratio"] = fullTotal.wall / emptyTotal.wall;
    state.counters["cpu_ratio"] = fullTotal.cpu / emptyTotal.cpu;
    state.counters["empty_ms"] = emptyTotal.wall * 1e3 / n;
    state.counters["full_cpu_ms"] = fullTotal.cpu * 1e3 / n;
    state.counters["empty_cpu_ms"] = emptyTotal.cpu * 1e3 / n;
}
BENCHMARK(BM_RelayoutRatio)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

CMsg RoomText(int first) {
    CMsg m(code1::kRequest, code2::kChatLine);
    for (int i = 0; i < 10; ++i)
        m.list.push_back("someone: flood line " + std::to_string(first + i));
    return m;
}

// 100,000 room lines, ten per record, pushed by a loopback chat host into one window.
void BM_RoomFlood(benchmark::State& state) {
    constexpr int kLines = 100000;
    std::string bytes;
    for (int i = 0; i < kLines; i += 10) zorvi::AppendMsg(RoomText(i), bytes);
    for (auto _ : state) {
        TestWindow t;
        t.w().SetUp();
        t.w().show();
        kvtest::PeerScript script;
        script.SendRaw(bytes).Silent();
        kvtest::ScriptPeer peer(script);

        QTextDocument* doc = t.w().m_chatDisplay->document();
        const int before = doc->blockCount();
        QElapsedTimer sinceTurn;
        qint64 longestGapNs = 0;
        bool flooding = false;
        QTimer turn;
        turn.setInterval(0);
        QObject::connect(&turn, &QTimer::timeout, [&] {
            if (flooding) longestGapNs = std::max(longestGapNs, sinceTurn.nsecsElapsed());
            sinceTurn.start();
        });
        turn.start();

        zorvi::ChatSocket& chat = *t.w().m_pChatSocket;
        if (!chat.Create() || !chat.Connect("127.0.0.1", peer.port())) {
            state.SkipWithError("cannot reach the loopback peer");
            return;
        }
        chat.Init();
        QElapsedTimer clock;
        // The flood starts with the first line shown and ends with the last.
        if (!QTest::qWaitFor([&] { return doc->blockCount() > before; }, 10000)) {
            state.SkipWithError("the flood did not start in time");
            return;
        }
        clock.start();
        sinceTurn.start();
        flooding = true;
        const bool done =
            QTest::qWaitFor([&] { return doc->blockCount() >= before + kLines; }, 600000);
        const double seconds = clock.nsecsElapsed() / 1e9;
        flooding = false;
        if (!done) {
            state.SkipWithError("the flood did not arrive in time");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["lines_per_s"] = kLines / seconds;
        state.counters["longest_gap_ms"] = longestGapNs / 1e6;
    }
}
BENCHMARK(BM_RoomFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
