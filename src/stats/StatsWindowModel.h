#pragma once
// The statistics window as plain state: the window's place and size in twips, its caption, whether it
// is loaded and shown, and where each group's row label stands. The row labels themselves (caption,
// height of the group's lowest cell, highest channel) are kept by the board, which creates them; here
// they are lined up: level with their groups on the board, groups that share a board row side by side.

#include "board/BoardModel.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <map>

namespace corvane {

class StatsWindowModel : public QObject {
    Q_OBJECT
public:
    // The template row label (element 0) and the window as designed.
    static constexpr int kRowLeft = 120;
    static constexpr int kRowWidth = 1815;
    static constexpr int kRowHeight = 255;
    static constexpr int kDesignWidth = 2295;
    static constexpr int kDesignHeight = 2880;

    bool isLoaded() const { return m_loaded; }
    bool isVisible() const { return m_visible; }
    bool isLaidOut() const { return m_laidOut; }
    // Left, top, width and height of the window in twips.
    QRect geometry() const { return m_geometry; }
    QString caption() const { return m_caption; }
    // Where a group's row label stands in the window, from the board's row label of the group.
    QPoint rowPosition(int group, const StatsRow& row) const;
    // The top of the highest row (twips), which the window is moved down by; 0 before the layout.
    int rowsTop() const { return m_smallestTop; }

    // Loads the window (once) hidden, placed beside the main window (outer rectangle, twips).
    void load(const QRect& mainWindow);
    void setVisible(bool visible, const QRect& mainWindow);
    // The window became the active one: placed again, laid out the first time, and moved down so that
    // its rows stand level with their groups on the board.
    void activate(const QRect& mainWindow, const QString& title, const std::map<int, StatsRow>& rows);

    // The window was resized by its user.
    void setSize(const QSize& twips);

signals:
    void changed();

private:
    void place(const QRect& mainWindow);
    void layOut(const QString& title, const std::map<int, StatsRow>& rows);
    QRect m_geometry{0, 0, kDesignWidth, kDesignHeight};
    QString m_caption = QStringLiteral("Stats");
    std::map<int, int> m_rowLeft; // by group, from the layout

    bool m_loaded = false;
    bool m_visible = false;
    bool m_laidOut = false;
    int m_smallestTop = 0;
};

} // namespace corvane
