#pragma once
// Every setting read from monitor.ini, with the built-in defaults. One instance lives for the whole run;
// menu actions change it and the "Make ini file" action writes it back.

#include <QString>
#include <array>
#include <cstdint>

namespace corvane {

struct ScheduledCommand {
    QString pattern; // "mm/dd/yy hh:nn:ss", any character may be "?"
    QString command;
};

struct MonitorConfig {
    bool useUdp = true;                        // TCP
    std::int16_t enginePort = 0;               // ENG_LOC_PORT
    std::int16_t monitorPort = 0;              // MON_PORT
    QString engineAddress;                     // ENG_LOC_IP
    QString allowFrom;                         // ENG_ALLOW_FROM: further UDP senders, separated by ";"
    QString title;                             // TITLE
    QString logoPath;                          // LOGO_PATH
    float deltaY = 2.0f;                       // DELTA_Y
    bool watchdogProgress = false;             // WD_PROGRESS (value)
    QString logFile;                           // LOG_FILE; the program's folder + "/Monitor.Log" by default
    bool demo = false;                         // DEMO
    QString relayWindowTitle;                  // CHK_UDP
    std::array<ScheduledCommand, 11> schedule; // SCHED_CMD, entries 0 to 10
    std::int16_t fontNarrow = 0;               // SET_FONT N
    std::int16_t fontBold = 1;                 // SET_FONT B
    std::int16_t fontSize = 9;                 // SET_FONT S, 8 to 12
    QString pagerRecipients;                   // MAIL_PAGEES, addresses separated by ";"
    bool pagerEnabledAtStart = false;          // MAIL_PAGEES present
    QString alarmNumberMask;                   // MAIL_MASK, type numbers separated by "*"
    QString alarmStringMask;                   // MAIL_STR_MASK, substrings separated by ";"
    QString alarmStringAllow;                  // MAIL_STR_ALLOW, substrings separated by ";"
    std::int16_t groupColorScheme = 3;         // GROUP_COLOR
    std::int16_t watchdogTimeout = 150;        // WATCHDOG_TO, seconds; the heartbeat tick in tens of ms
    QString maxAlarms = QStringLiteral("200"); // MAX_ALARMS, as typed
    // The pager's mail server; written back only when set.
    QString mailServer;   // MAIL_SERVER: smtp://host:port or smtps://host:port
    QString mailSender;   // MAIL_FROM: the sender address
    QString mailCaFile;   // MAIL_CA_FILE: PEM file of the authorities trusted instead of the system's
    // These two hold the file's bytes (one character each), not read as numbers.
    QString mailUser;     // MAIL_USER: logon name, none for an open relay
    QString mailPassword; // MAIL_PASSWORD: asked at logon when a user is set without it
    int boardZoomPercent = 100; // BOARD_ZOOM: the board's zoom, 50 to 400 percent

    // Keys whose mere presence acts at start-up.
    struct Present {
        bool watchdogProgress = false; // WD_PROGRESS
        bool relayWindowTitle = false; // CHK_UDP
        bool playSound = false;        // PLAY_SOUND
        bool setFont = false;          // SET_FONT
        bool pagerRecipients = false;  // MAIL_PAGEES
        bool maxAlarms = false;        // MAX_ALARMS
    } present;
};

} // namespace corvane
