// monitor.ini: any bytes at all must read without harm, and what the monitor writes back from the
// settings it read must read back to the same settings, so that "Make ini file" followed by a restart
// never changes the configuration (the written file is a fixed point of read-then-write).

#include "app/IniFile.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    MonitorConfig first;
    ini::read(input, first);

    ini::LiveSettings live;
    live.allowSounds = first.present.playSound;
    live.pagerEnabled = first.pagerEnabledAtStart;
    const QByteArray written = ini::content(first, live);

    MonitorConfig second;
    ini::read(written, second);
    const QByteArray rewritten = ini::content(second, live);
    if (rewritten != written) {
        std::fprintf(stderr, "monitor.ini does not read back as written:\n--- written\n%s\n--- read back\n%s\n",
                     written.constData(), rewritten.constData());
        std::abort();
    }
    return 0;
}
