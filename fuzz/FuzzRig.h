#pragma once
// The whole monitor for the fuzz targets that drive it: the real Monitor with every subsystem and model,
// but the test doubles for the link, the dialogs, the tones, the mail and the relay terminator, so that no
// input can reach the network, a sound device, a mail server or a message box.

#include "support/TestMonitor.h"

#include <QByteArrayView>
#include <QString>
#include <array>
#include <memory>

namespace corvane::fuzz {

// The application object the monitor needs, made once before the first input: offscreen, and in UTC, as
// the C library would otherwise look at the time zone file again for every time stamp.
void startQt(const char* programName);

// Settings that let an input reach as much as it can: every alarm offered to the pager, sounds allowed,
// the relay watched, the watchdogs' progress shown.
MonitorConfig reachingConfig();

class Rig {
public:
    explicit Rig(MonitorConfig config);
    Monitor& monitor() { return m_test->monitor; }
    test::TestPlatform& services() { return m_test->services; }

private:
    std::unique_ptr<test::TestMonitor> m_test;
};

// One rig serves a run of inputs, as a live monitor serves one message after another: building a monitor
// costs more than most inputs. Every kInputsPerRig inputs it is built afresh, which bounds the state that
// can build up. So that a finding which needs the inputs before it still reproduces, the inputs since the
// rig was built are kept, when CORVANE_FUZZ_HISTORY names a folder, in the files 000 to 099 there, the
// slots not yet used in this round left empty: giving them all, in that order, to the same target
// replays them on one rig.
class ReusedRig {
public:
    static constexpr int kInputsPerRig = 100;

    explicit ReusedRig(MonitorConfig config);
    ~ReusedRig();
    ReusedRig(const ReusedRig&) = delete;
    ReusedRig& operator=(const ReusedRig&) = delete;

    // The rig for this input, built afresh when due; the input joins the history.
    Rig& take(QByteArrayView input);

private:
    void keep(int slot, QByteArrayView input);

    MonitorConfig m_config;
    std::unique_ptr<Rig> m_rig;
    int m_served = 0;
    // The history's files stay open: creating and deleting a hundred files a second is slow on some
    // file systems, rewriting them in place is not. -1 for a file not open (or no history kept).
    std::array<int, kInputsPerRig> m_history;
};

} // namespace corvane::fuzz
