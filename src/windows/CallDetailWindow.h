#pragma once
// A call detail window on the screen: 30 one-line boxes, the scroll bar and the box that shows the
// span while the thumb is dragged, drawn from a CallDetail; the keys and the scroll bar go to it.
// The boxes keep their design places on a page that scrolls when the screen's work area is lower than
// the window's design; the span scroll bar stays at the window's edge, as tall as the window.
// CallDetailWindowHost creates a window for every entry of the list of call detail windows.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <vector>

class QLineEdit;
class QScrollArea;
class QScrollBar;

namespace corvane {

class CallDetail;
class CallDetailList;

class CallDetailWindow : public QWidget {
    Q_OBJECT
public:
    explicit CallDetailWindow(CallDetail& model, QWidget* parent = nullptr);
    CallDetail& model() const { return m_model; }
    // Box i, 1 to 30.
    QLineEdit* lineBox(int i) const { return m_boxes.at(static_cast<std::size_t>(i - 1)); }
    QScrollBar* scrollBar() const { return m_scroll; }
    QLineEdit* scrollValBox() const { return m_scrollVal; }
    QScrollArea* linesArea() const { return m_area; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    int px(int twips) const;
    int tw(int pixels) const;
    bool handleKey(QKeyEvent* event);
    void refresh();
    void placeLines();
    // Kept inside the screen's work area, the boxes' page scrolling in what remains of it.
    void fitToWorkArea();
    // The width the boxes' page has beside the span scroll bar, less the page's own scroll bar.
    int linesWidth() const;
    CallDetail& m_model;
    QScrollArea* m_area;
    QWidget* m_page;
    std::array<QLineEdit*, 30> m_boxes{};
    QScrollBar* m_scroll;
    QLineEdit* m_scrollVal;
    bool m_syncing = false;
};

class CallDetailWindowHost : public QObject {
    Q_OBJECT
public:
    CallDetailWindowHost(CallDetailList& list, QObject* parent = nullptr);
    ~CallDetailWindowHost() override;
    int count() const { return static_cast<int>(m_windows.size()); }
    CallDetailWindow* window(int index) const { return m_windows.at(static_cast<std::size_t>(index)); }

private:
    void add(CallDetail& model);
    std::vector<QPointer<CallDetailWindow>> m_windows;
};

} // namespace corvane
