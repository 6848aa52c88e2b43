#pragma once
// MonitorMain: the main window. It draws MainWindowModel (every element at its twips position, the tab
// control, the menu bar) and forwards the operator's clicks, double-clicks, mouse moves, typing and menu
// choices to the model. It holds no state of its own beyond the widgets.

#include "common/MainWindowModel.h"

#include <QMainWindow>
#include <QPointer>
#include <array>

class QAction;
class QMenu;
class QTabWidget;

namespace corvane {

class BoardCanvas;

class MonitorMain : public QMainWindow {
    Q_OBJECT
public:
    explicit MonitorMain(MainWindowModel& model, QWidget* parent = nullptr);
    ~MonitorMain() override;

    // Replaces the plain stand-in of an element with the real view (the board in Picture1, the alarm
    // list in AlarmsList). The window takes ownership and keeps it at the element's geometry.
    void setElementWidget(Element element, QWidget* widget);
    QWidget* elementWidget(Element element) const { return m_widgets[index(element)]; }
    // The picture shown by a picture element (Image1, UDP_WD).
    void setPicture(Element element, const QPixmap& picture);
    // Adds the board's zoom items to the View menu, with their keys, acting on `canvas`.
    void addBoardZoom(BoardCanvas& canvas);

    QTabWidget* tabControl() const { return m_tabs; }
    QAction* menuAction(MenuItem item) const { return m_actions[index(item)]; }
    // The client area below the menu bar, where the twips positions start.
    QWidget* clientArea() const { return m_client; }
    double logicalDpi() const { return m_dpi; }

signals:
    // The operator closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename E> static constexpr std::size_t index(E e) { return static_cast<std::size_t>(e); }
    void buildElements();
    void buildMenus();
    QWidget* createElementWidget(Element element);
    QWidget* containerFor(Element element) const;
    void watch(Element element, QWidget* widget);
    void updateElement(Element element);
    void placeElement(Element element);
    void placeAll();
    void updateMenu(MenuItem item);
    void clientResized();
    void applyClientSize(const QSize& twips);
    void resizeWithinScreen(const QSize& wanted);
    void raiseWindow();

    MainWindowModel& m_model;
    double m_dpi = 96.0;
    QWidget* m_client = nullptr;
    QTabWidget* m_tabs = nullptr;
    std::array<QWidget*, 2> m_pages{};
    std::array<QPointer<QWidget>, static_cast<std::size_t>(Element::Count)> m_widgets{};
    // Elements whose widget is a view of another subsystem (setElementWidget), which paints itself.
    std::array<bool, static_cast<std::size_t>(Element::Count)> m_custom{};
    std::array<QAction*, static_cast<std::size_t>(MenuItem::Count)> m_actions{};
    std::array<QMenu*, static_cast<std::size_t>(MenuItem::Count)> m_menus{};
};

} // namespace corvane
