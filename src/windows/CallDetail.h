#pragma once
// Call detail windows: each lists the call information of one span of the board, one line per channel
// position, coloured like the channel's cell. The operator pages through the spans with the scroll bar
// or Page Up and Page Down. These classes hold the windows' state; CallDetailWindow draws one of them
// and forwards the operator's actions.

#include "common/Units.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace corvane {

class BoardModel;
class MainWindowModel;
struct MonitorConfig;

struct CallDetailLine {
    bool visible = false;
    LegacyColor back = kWhite;
    LegacyColor fore = kBlack;
    QString text;
};

// One call detail window (CallDetail).
class CallDetail : public QObject {
    Q_OBJECT
public:
    static constexpr int kLines = 30;
    // The column of lines as designed, in twips.
    static constexpr int kLineLeft = 240;
    static constexpr int kLineWidth = 8535;
    static constexpr int kLineHeight = 285;
    static constexpr int kFirstLineTop = 120;
    static constexpr int kLinePitch = 360;
    static constexpr int kScrollBarWidth = 255;
    static constexpr int kDesignWidth = kLineLeft + kLineWidth + 120 + kScrollBarWidth;
    static constexpr int kDesignHeight = kFirstLineTop + kLinePitch * (kLines - 1) + kLineHeight + 120;

    CallDetail(const MonitorConfig& config, const BoardModel& board);

    bool isLoaded() const { return m_loaded; }
    bool isVisible() const { return m_visible; }
    QString caption() const { return m_caption; }
    std::int16_t page() const { return m_page; }
    // Line i, 1 to 30.
    const CallDetailLine& line(int i) const { return m_lines.at(static_cast<std::size_t>(i - 1)); }
    int lineWidth() const { return m_lineWidth; }

    // The scroll bar's range and value, and the box that shows the span while the thumb is dragged.
    int scrollMin() const { return m_scrollMin; }
    int scrollMax() const { return m_scrollMax; }
    int scrollValue() const { return m_scrollValue; }
    bool scrollValVisible() const { return m_scrollValVisible; }
    QString scrollValText() const { return m_scrollValText; }
    void setScrollValText(const QString& text);

    // Loads the window: takes the board's span range for the scroll bar and shows the lowest span.
    void load();
    void show();
    // Closing the window unloads it; the next use loads it again.
    void close();
    // InitPage: fills the 30 lines for the current page from the board.
    void initPage();

    // The scroll bar's thumb is being dragged to value: the span is shown in the box only.
    void scrollDragged(int value);
    // The scroll bar's value changed (thumb released, click, keyboard step).
    void scrollChanged(int value);
    // Page Up and Page Down: one span back or forward, wrapping around the board's span range.
    void pageUp();
    void pageDown();
    // A typed character: "!" and the double quote step back and forward, held at the ends of the span
    // range, without redrawing the lines.
    void typed(QChar c);
    // The window's width changed (twips): the lines follow by the same amount while they stay wider
    // than nothing.
    void resized(int windowWidth);

    // Live updates from the board.
    void channelReported(int id);
    void callInfoArrived(int id, int peer, const QString& body);

signals:
    void changed();
    void visibilityChanged(bool visible);

private:
    void setLine(int i, const CallDetailLine& line);
    void setPage(int page);
    const MonitorConfig& m_config;
    const BoardModel& m_board;
    std::array<CallDetailLine, kLines> m_lines;
    bool m_loaded = false;
    bool m_visible = false;
    QString m_caption = QStringLiteral("Call Detail");
    std::int16_t m_page = 0;
    int m_windowWidth = kDesignWidth;
    int m_lineWidth = kLineWidth;
    int m_scrollMin = 0;
    int m_scrollMax = 0;
    int m_scrollValue = 0;
    bool m_scrollValVisible = false;
    QString m_scrollValText;
};

// The main window's list of call detail windows: it grows by one whenever every window in it is open,
// never shrinks, and a closed window is used again.
class CallDetailList : public QObject {
    Q_OBJECT
public:
    CallDetailList(MainWindowModel& ui, const MonitorConfig& config, BoardModel& board);
    ~CallDetailList() override;

    // The "&Call Detail Window" menu: opens the first closed window, or a new one.
    CallDetail& open();
    int count() const { return static_cast<int>(m_windows.size()); }
    CallDetail& at(int index) { return *m_windows.at(static_cast<std::size_t>(index)); }

signals:
    // A new window entry exists; its view may be created now.
    void created(corvane::CallDetail& window);

private:
    void connectBoard();
    const MonitorConfig& m_config;
    BoardModel& m_board;
    std::vector<std::unique_ptr<CallDetail>> m_windows;
    bool m_boardConnected = false;
};

} // namespace corvane
