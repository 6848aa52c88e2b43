#pragma once
// The channel board: one cell per channel reported by the engine, laid out in rows by span, with the
// span labels at the sides of each row. Cells are created on first report and never removed; they live
// in one flat array, found by ChannelId through a slot table, so a board of ten thousand channels is
// painted and searched without allocation. Everything is in twips and 0x00BBGGRR colours; the view
// (BoardView) draws this model and forwards the mouse to the installed BoardMouseHandler.

#include "board/BoardMouse.h"
#include "common/Units.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

class BoardKeyHandler;
class Clock;
class GroupTables;
class LinkSocket;
class MainWindowModel;
class PollingWait;
struct MonitorConfig;

using ChannelId = std::int16_t;

inline constexpr int span(int id) {
    return id / 100;
}
inline constexpr int position(int id) {
    return id % 100;
}

// One channel's cell: its background square (Sh_Group), state label (Sh_State), connected marker
// (Sh_Listen) and route line (L_Route), with the values each of them carries.
struct ChannelCell {
    ChannelId id = 0;

    // Background square.
    QRect back;
    std::int16_t group = 0;
    LegacyColor groupColor = 0;
    LegacyColor borderColor = 0;
    int borderStyle = 6; // 6: solid border inside the shape; 1: the highlight; 0: none
    bool opaque = true;  // back style: transparent in the no-colour mode
    QString positionTag; // set to the position's number text by the first call information
    bool backVisible = false;

    // State label.
    QRect stateRect;
    LegacyColor stateColor = 0x000000;
    LegacyColor textColor = 0xFFFFFF;
    QString mark; // empty, "X", "x", "?" or "!"
    QString callInfo;
    bool stateVisible = false;

    // Connected marker.
    QRect markerRect;
    char side = 0; // 'R', 'O', or 0 before the first painting
    LegacyColor markerColor = 0x00FF00;
    bool connected = false; // the marker is visible

    // Route line.
    QPoint routeStart;
    QPoint routeEnd;
    bool routeVisible = false;

    // The route line's tag: the peer's number text, or empty.
    bool hasPeerTag() const { return m_peerTag != kNoPeer; }
    QString peerText() const;
    // Its numeric value: the peer's id, 0 when empty.
    int peerNumber() const { return hasPeerTag() ? m_peerTag : 0; }
    void setPeerTag(int peer) { m_peerTag = peer; }
    void clearPeerTag() { m_peerTag = kNoPeer; }

    QString sideTag() const { return side ? QString(QChar(side)) : QString(); }
    bool isMarked() const { return mark.size() == 1 && (mark[0] == u'X' || mark[0] == u'x'); }

    // The tool tip: number text of the group, " - R " or " - O ", the group's name, number text of id.
    QString toolTip() const;
    void setToolTip(std::int16_t group, char side, const QString& name);
    bool hasToolTip() const { return m_tipSide != 0; }

    // Everything the cell covers, route line included.
    QRect bounds() const;
    QRect routeBounds() const;

private:
    static constexpr int kNoPeer = -2147483647 - 1;
    int m_peerTag = kNoPeer;
    std::int16_t m_tipGroup = 0;
    char m_tipSide = 0;
    QString m_tipName;
};

// One span label (GroupLabel_i or GroupLabel_o element).
struct SpanLabel {
    bool exists = false;
    QRect rect;
    QString caption;
    bool visible = false;
    std::optional<LegacyColor> back; // none: the window background colour
};

struct LabelFont {
    QString family = QStringLiteral("Arial");
    bool bold = true;
    double pointSize = 9.75;
};

// The statistics window's row label of one group (GroupStat element), created by the board when the
// group's first O-side cell is placed.
struct StatsRow {
    QString caption;
    int top = 0;
    QString tag; // the group's highest ChannelId, as number text
};

class BoardModel : public QObject {
    Q_OBJECT
public:
    // Template sizes and the board's colours.
    static constexpr int kCellSize = 255;
    static constexpr int kStateSize = 150;
    static constexpr int kMarkerSize = 45;
    static constexpr int kLabelWidth = 1455;
    static constexpr int kLabelHeight = 300;
    static constexpr LegacyColor kBoardColour = 0xC0C0C0;
    static constexpr LegacyColor kNoColourBoard = 0x808080;
    // Span numbers reach 327 with 16-bit ids.
    static constexpr int kMaxSpan = 327;

    // applyingMessages tells whether message processing is applying the engine's messages now.
    BoardModel(MainWindowModel& ui, MonitorConfig& config, GroupTables& groups, Clock& clock,
               LinkSocket& link, std::function<bool()> applyingMessages);
    ~BoardModel() override;
    // The monitor's clock, for the views' timing.
    Clock& clock() const { return m_clock; }
    // True while message processing applies the engine's messages: the view paces those changes to the
    // screen's frames and shows everything else, the operator's own actions above all, at once.
    bool applyingMessages() const { return m_applyingMessages(); }

    // PlaceCell: creates and places the cell of id (101 or more), or fixes the origin from the template
    // (id 1); any other id is ignored.
    void placeCell(int id, std::int16_t state, std::int16_t group);
    // PaintChannel: one channel state report.
    void paintChannel(int id, std::int16_t state, std::int16_t group, int peer);
    // DimColor: shows (and brings forward) or hides the route line of a channel.
    void dimColor(int id, bool on);
    // FillTheLabels: rewrites both span labels of spans 1 to 32 from the cells and the group names.
    void fillTheLabels();
    // The group colour menu: 0 is the no-colour mode, 1 to 3 the colour factors.
    void setGroupColorMode(int index);
    // The view menu's appearance options; the menu items toggle them.
    void setFontNarrow(bool on);
    void setBoldFont(bool on);
    void chooseFontSize(int points);
    void toggleShowRouteLines();
    // Double click on the window's background: asks the engine for its description ("SSSSS") and waits
    // up to 51 looks, 100 ms apart, for the acknowledgement "S", without blocking.
    void requestDescription();
    bool descriptionWaitRunning() const;

    // Cells.
    bool hasCell(int id) const { return id >= 0 && id < kSlots && m_slot[static_cast<std::size_t>(id)] >= 0; }
    const ChannelCell* cell(int id) const;
    ChannelCell* cell(int id);
    // All cells in the order of their creation (the template first).
    const std::vector<ChannelCell>& cells() const { return m_cells; }
    // Ids of all cells in ascending order.
    std::vector<int> cellIds() const;

    // Changes made by others (selection, commands, call information) go through these so the view
    // hears of them.
    void setMark(int id, const QString& mark);
    void setBorder(int id, LegacyColor colour, int style);
    void setCallInfo(int id, const QString& text);
    void setPositionTag(int id, const QString& tag);
    void cellChanged(int id);

    // Board-wide values.
    int originX() const { return m_x0; }
    int originY() const { return m_y0; }
    int lastBuiltIndex() const { return m_lastBuilt; }
    int highestBuiltIndex() const { return m_highestBuilt; }
    int gblBrdMin() const { return m_brdMin; }
    int gblBrdMax() const { return m_brdMax; }
    int gblidx() const { return m_gblidx; }
    void setGblidx(int id) { m_gblidx = static_cast<ChannelId>(id); }
    // The border style of cells that are not highlighted: 6 in the colour modes, 0 without colour.
    int normalBorderStyle() const { return m_normalBorderStyle; }
    LegacyColor boardColour() const { return m_boardColour; }

    // Span labels by span number; labels that do not exist come back with exists false.
    const SpanLabel& innerLabel(int span) const;
    const SpanLabel& outerLabel(int span) const;
    // "+C" colours the inner or outer labels.
    void setLabelBack(bool inner, int span, std::optional<LegacyColor> colour);
    const LabelFont& labelFont() const { return m_font; }

    // Statistics rows by group number.
    const std::map<int, StatsRow>& statsRows() const { return m_statsRows; }
    // Where the board's own heights start in the main window (twips): a row's top is this plus the top
    // of its group's lowest cell.
    int statsRowsOrigin() const;
    void setStatsCaption(int group, const QString& caption);

    // The selection band and the mouse.
    const BandRect& band() const { return m_band; }
    void setBand(const BandRect& band);
    void setMouseHandler(BoardMouseHandler* handler) { m_mouse = handler; }
    BoardMouseHandler* mouseHandler() const { return m_mouse; }
    // The keyboard cursor's counterpart of the mouse handler.
    void setKeyHandler(BoardKeyHandler* handler) { m_keys = handler; }
    BoardKeyHandler* keyHandler() const { return m_keys; }
    // The cells marked now (the template among them when a band took it in): what a per-channel
    // command would go out for.
    int markedCount() const { return m_markedCount; }
    // The topmost element at a board point: span labels, then state labels, then group squares.
    BoardHit hitTest(QPointF twips) const;

    // The extent of everything placed, for the view's scrolling.
    QRect extent() const { return m_extent; }
    // Cell dense indices by span row, for painting only what is exposed.
    const std::vector<std::vector<int>>& rows() const { return m_rows; }

signals:
    // Something in this board rectangle (twips) needs repainting.
    void areaChanged(const QRect& twips);
    // Everything needs repainting (colour mode, fonts, all route lines hidden).
    void boardChanged();
    void extentChanged(const QRect& twips);
    // A new cell exists.
    void cellPlaced(int id);
    // A state report was painted on channel id (after PaintChannel): windows showing its span recolour
    // the channel's line with its state colour.
    void channelReported(int id);
    // Call information arrived ("c" or "C") for id, whose route peer is peer (0 for none): windows
    // showing either span put the text in the line of id's position when they show id's span, else in
    // the line of the peer's position.
    void callInfoArrived(int id, int peer, const QString& body);
    void statsRowChanged(int group);
    void labelsChanged();
    void bandChanged();
    void markedCountChanged(int count);

private:
    static constexpr int kSlots = 32768;
    void ensureLabel(std::vector<SpanLabel>& labels, int span);
    void changedCell(const ChannelCell& c);
    void changedRoute(const QRect& before, const ChannelCell& c);
    void grow(const QRect& r);
    void applyToLabels();
    void placeTemplate(std::int16_t state, std::int16_t group);
    void updateStatsRow(const ChannelCell& c);

    MainWindowModel& m_ui;
    MonitorConfig& m_config;
    GroupTables& m_groups;
    Clock& m_clock;
    LinkSocket& m_link;
    std::function<bool()> m_applyingMessages;
    // A cell's index in m_cells, -1 for none: fewer than kSlots cells can exist, so 16 bits hold it, and
    // the table stays small enough to be cheap to build.
    std::vector<std::int16_t> m_slot;
    std::vector<ChannelCell> m_cells;
    std::vector<std::vector<int>> m_rows;
    std::vector<SpanLabel> m_inner;
    std::vector<SpanLabel> m_outer;
    SpanLabel m_none;
    LabelFont m_font;
    std::map<int, StatsRow> m_statsRows;
    BandRect m_band;
    BoardMouseHandler* m_mouse = nullptr;
    BoardKeyHandler* m_keys = nullptr;
    int m_markedCount = 0;
    std::unique_ptr<PollingWait> m_descriptionWait;
    QRect m_extent;

    std::int16_t m_x0 = 0;
    std::int16_t m_y0 = 0;
    std::int32_t m_lastBuilt = 1;
    std::int32_t m_highestBuilt = 1;
    std::int16_t m_brdMax = 0;
    std::int16_t m_brdMin = 100;
    ChannelId m_gblidx = 0;
    int m_normalBorderStyle = 6;
    LegacyColor m_boardColour = kBoardColour;
};

} // namespace corvane
