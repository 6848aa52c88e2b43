// Engine messages into the whole monitor (see FuzzRig.h). The input is a TCP stream: each "|"-separated
// piece is one message for the dispatcher. A piece that starts with byte 0x01 is not a message but moves
// the clock on by its leading number of milliseconds, so the watchdogs, the board completion, the
// indicator reset and the minute timer run between messages as they would live; at most ten seconds a
// piece, as the monitor lives on through many inputs and longer spans add up. An input whose first piece
// starts with byte 0x02 takes the rest of that piece as monitor.ini lines read over the built-in
// settings, so the layout, colours, masks, schedule and time-outs vary too; such an input gets a monitor
// of its own.

#include "FuzzRig.h"
#include "app/IniFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <algorithm>
#include <cstdint>

using namespace corvane;

namespace {

constexpr qint64 kMaxAdvanceMs = 10000;

void feed(fuzz::Rig& rig, QByteArrayView piece) {
    if (!piece.isEmpty() && piece.front() == '\x01') {
        const qint64 ms = piece.sliced(1).toByteArray().toLongLong();
        rig.services().clock.advance(std::clamp<qint64>(ms, 0, kMaxAdvanceMs));
        return;
    }
    rig.monitor().dispatcher().dispatch(QString::fromLatin1(piece));
}

void feedAll(fuzz::Rig& rig, QByteArrayView stream) {
    qsizetype start = 0;
    while (start <= stream.size()) {
        qsizetype bar = stream.indexOf('|', start);
        if (bar < 0)
            bar = stream.size();
        feed(rig, stream.sliced(start, bar - start));
        start = bar + 1;
    }
    // Anything a handler posted (deferred deletes, queued calls) runs now, as the event loop would.
    QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startQt("fuzz_dispatch");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!input.isEmpty() && input.front() == '\x02') {
        qsizetype bar = input.indexOf('|');
        if (bar < 0)
            bar = input.size();
        MonitorConfig config = fuzz::reachingConfig();
        ini::read(input.sliced(1, bar - 1).toByteArray(), config);
        fuzz::Rig own(std::move(config));
        if (bar < input.size())
            feedAll(own, input.sliced(bar + 1));
        return 0;
    }
    static fuzz::ReusedRig rigs(fuzz::reachingConfig());
    feedAll(rigs.take(input), input);
    return 0;
}
