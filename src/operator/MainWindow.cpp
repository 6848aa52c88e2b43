#include "operator/MainWindow.h"

#include "board/BoardView.h"
#include "board/BoardZoom.h"
#include "operator/AccessibleText.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <cmath>

namespace corvane {

namespace {

using Gesture = MainWindowModel::Gesture;

constexpr Element kAllElements[] = {
    Element::TCP,           Element::Repl,         Element::AckLbl,     Element::Label3,
    Element::PendingLbl,    Element::Label2,       Element::WD_Back,    Element::WD_Progress,
    Element::Label8,        Element::lblPlatform,  Element::lblVersion, Element::Label1,
    Element::FreeVox,       Element::Recording,    Element::Image1,     Element::UDP_WD,
    Element::SSTab1,        Element::Command2_1,   Element::Command2_0, Element::Truncate,
    Element::Command2_2,    Element::StatsButton,  Element::BoxClock,   Element::Command2_3,
    Element::Command2_4,    Element::Command2_5,   Element::Command2_6, Element::Label4,
    Element::MarkedCount,
    Element::ControlWithdrawn,
    Element::Picture1,      Element::CallText,     Element::LastAlarm,  Element::Command1,
    Element::MaxCountLable, Element::MaxListCount, Element::AlarmsList,
};
static_assert(std::size(kAllElements) == static_cast<std::size_t>(Element::Count));

// The sign shown while the relay is watched: a small relay box with its two lines. Drawn at the
// screen's pixel density, so it stays sharp where a logical pixel is several.
QPixmap relayWatchedPicture(const QSize& size, qreal ratio) {
    const QSize logical = size.expandedTo(QSize(8, 8));
    QPixmap picture(logical * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(QPointF(0, 0), QSizeF(logical)).adjusted(2, 4, -2, -4);
    p.setPen(QPen(QColor(0, 90, 0), 1.5));
    p.setBrush(QColor(170, 230, 170));
    p.drawRoundedRect(box, 3, 3);
    p.drawLine(QPointF(0, box.center().y() - 3), box.topLeft() + QPointF(0, box.height() / 2 - 3));
    p.drawLine(box.topRight() + QPointF(0, box.height() / 2 + 3),
               QPointF(logical.width(), box.center().y() + 3));
    QFont f = p.font();
    f.setPixelSize(std::max(6, static_cast<int>(box.height() / 2.5)));
    f.setBold(true);
    p.setFont(f);
    p.drawText(box, Qt::AlignCenter, QStringLiteral("UDP"));
    return picture;
}

} // namespace

MonitorMain::MonitorMain(MainWindowModel& model, QWidget* parent) : QMainWindow(parent), m_model(model) {
    m_dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    // The small fixed elements were laid out for a narrow 8-point face; Liberation Sans keeps Arial's
    // widths, and any sans face stands in where it is missing.
    QFont small(QStringLiteral("Liberation Sans"), 8);
    small.setStyleHint(QFont::SansSerif);
    m_client->setFont(small);
    setCentralWidget(m_client);
    buildElements();
    buildMenus();
    setWindowTitle(m_model.windowCaption());

    connect(&m_model, &MainWindowModel::elementChanged, this, [this](Element e) {
        updateElement(e);
        placeElement(e);
    });
    connect(&m_model, &MainWindowModel::menuChanged, this, &MonitorMain::updateMenu);
    connect(&m_model, &MainWindowModel::windowCaptionChanged, this, &QWidget::setWindowTitle);
    connect(&m_model, &MainWindowModel::currentTabChanged, this, [this](int tab) {
        if (m_tabs->currentIndex() != tab)
            m_tabs->setCurrentIndex(tab);
    });
    connect(&m_model, &MainWindowModel::clientSizeChanged, this, &MonitorMain::applyClientSize);
    connect(&m_model, &MainWindowModel::raiseRequested, this, &MonitorMain::raiseWindow);

    m_client->installEventFilter(this);
    const QSize design = twipsToPixels(QRect(QPoint(0, 0), m_model.clientSize()), m_dpi).size();
    m_client->resize(design);
    resizeWithinScreen(QSize(design.width(), design.height() + menuBar()->sizeHint().height()));
}

MonitorMain::~MonitorMain() = default;

void MonitorMain::buildElements() {
    m_tabs = new QTabWidget(m_client);
    m_tabs->setObjectName(QStringLiteral("SSTab1"));
    for (int tab = 0; tab < 2; ++tab) {
        m_pages[static_cast<std::size_t>(tab)] = new QWidget;
        m_pages[static_cast<std::size_t>(tab)]->setMouseTracking(true);
        m_pages[static_cast<std::size_t>(tab)]->installEventFilter(this);
    }
    m_tabs->addTab(m_pages[0], QStringLiteral("Channel Status"));
    m_tabs->addTab(m_pages[1], QStringLiteral("Alarms"));
    m_tabs->setCurrentIndex(m_model.currentTab());
    m_tabs->tabBar()->setMouseTracking(true);
    m_tabs->tabBar()->installEventFilter(this);
    m_tabs->setMouseTracking(true);
    m_widgets[index(Element::SSTab1)] = m_tabs;
    m_tabs->installEventFilter(this);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int tab) { m_model.setCurrentTab(tab); });

    // Created in the model's order, so that later elements lie on top (the bar over its background, the
    // watchdog caption over the bar).
    for (Element e : kAllElements) {
        if (e == Element::SSTab1)
            continue;
        QWidget* w = createElementWidget(e);
        m_widgets[index(e)] = w;
        watch(e, w);
    }
    for (Element e : kAllElements) {
        updateElement(e);
        placeElement(e);
    }
}

QWidget* MonitorMain::containerFor(Element e) const {
    const int tab = m_model.element(e).tab;
    return tab < 0 ? m_client : m_pages[static_cast<std::size_t>(tab)];
}

QWidget* MonitorMain::createElementWidget(Element e) {
    const ElementState& s = m_model.element(e);
    QWidget* parent = containerFor(e);
    QWidget* w = nullptr;
    switch (s.kind) {
    case ElementKind::Label: {
        auto* label = new QLabel(parent);
        // Captions carry engine text: never interpreted as markup.
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        w = label;
        break;
    }
    case ElementKind::Shape: {
        auto* shape = new QFrame(parent);
        shape->setFrameShape(QFrame::Box);
        shape->setAutoFillBackground(true);
        w = shape;
        break;
    }
    case ElementKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setAlignment(Qt::AlignCenter);
        if (e == Element::UDP_WD)
            picture->setPixmap(
                relayWatchedPicture(twipsToPixels(s.twips, m_dpi).size(), devicePixelRatioF()));
        w = picture;
        break;
    }
    case ElementKind::Button: {
        auto* button = new QPushButton(parent);
        connect(button, &QPushButton::clicked, this, [this, e] { m_model.gesture(e, Gesture::Click); });
        w = button;
        break;
    }
    case ElementKind::CheckBox: {
        auto* box = new QCheckBox(parent);
        connect(box, &QCheckBox::clicked, this, [this, e](bool checked) {
            m_model.setChecked(e, checked);
            m_model.gesture(e, Gesture::Click);
        });
        w = box;
        break;
    }
    case ElementKind::TextBox: {
        auto* edit = new QLineEdit(parent);
        connect(edit, &QLineEdit::textEdited, this,
                [this, e](const QString& text) { m_model.setCaption(e, text); });
        w = edit;
        break;
    }
    case ElementKind::ListBox:
    case ElementKind::Board:
    case ElementKind::TabControl: {
        // Until the subsystem supplies its view.
        auto* standIn = new QFrame(parent);
        standIn->setFrameShape(QFrame::StyledPanel);
        standIn->setFrameShadow(QFrame::Sunken);
        standIn->setAutoFillBackground(true);
        QPalette pal = standIn->palette();
        pal.setColor(QPalette::Window, Qt::white);
        standIn->setPalette(pal);
        w = standIn;
        break;
    }
    }
    w->setObjectName(QString::fromLatin1(MainWindowModel::name(e)));
    return w;
}

void MonitorMain::watch(Element e, QWidget* w) {
    w->setProperty("corvaneElement", static_cast<int>(e));
    w->setMouseTracking(true);
    w->installEventFilter(this);
}

void MonitorMain::setElementWidget(Element e, QWidget* widget) {
    if (!widget || e == Element::SSTab1)
        return;
    QWidget* old = m_widgets[index(e)];
    if (old == widget)
        return;
    widget->setParent(containerFor(e));
    m_custom[index(e)] = true;
    m_widgets[index(e)] = widget;
    if (old) {
        widget->stackUnder(old);
        old->hide();
        old->deleteLater();
    }
    watch(e, widget);
    updateElement(e);
    placeElement(e);
}

void MonitorMain::setPicture(Element e, const QPixmap& picture) {
    if (auto* label = qobject_cast<QLabel*>(m_widgets[index(e)].data())) {
        // Scaled to the label's device pixels, not its logical ones, so a logo stays sharp on a dense screen.
        const qreal ratio = label->devicePixelRatioF();
        QPixmap scaled = picture.scaled(label->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        label->setPixmap(scaled);
    }
}

void MonitorMain::updateElement(Element e) {
    QWidget* w = m_widgets[index(e)];
    if (!w)
        return;
    const ElementState& s = m_model.element(e);
    if (e == Element::SSTab1) {
        w->setEnabled(s.enabled);
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && s.kind == ElementKind::Label)
        label->setText(s.caption);
    else if (auto* button = qobject_cast<QPushButton*>(w))
        button->setText(s.caption);
    else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        box->setText(s.caption);
        box->setChecked(s.checked);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        // Only a change from elsewhere is written back, so typing keeps its cursor.
        if (edit->text() != s.caption)
            edit->setText(s.caption);
    }
    // Setting a tool tip tells the widget and its watchers even when it is the same; captions such as
    // LastAlarm change with every message of a storm.
    if (w->toolTip() != s.toolTip)
        w->setToolTip(s.toolTip);
    w->setEnabled(s.enabled);

    // Colours: none means the element's own look. Custom views of other subsystems paint themselves.
    const bool ownWidget =
        !m_custom[index(e)] && s.kind != ElementKind::Board && s.kind != ElementKind::ListBox;
    if (ownWidget) {
        QPalette pal = w->parentWidget() ? w->parentWidget()->palette() : w->palette();
        if (s.back) {
            const QColor back = toQColor(*s.back);
            pal.setColor(QPalette::Window, back);
            pal.setColor(QPalette::Button, back);
            pal.setColor(QPalette::Base, back);
        } else if (s.kind == ElementKind::Shape) {
            pal.setColor(QPalette::Window, e == Element::WD_Progress ? toQColor(kGrey) : toQColor(kWhite));
        }
        if (s.fore) {
            const QColor fore = toQColor(*s.fore);
            pal.setColor(QPalette::WindowText, fore);
            pal.setColor(QPalette::ButtonText, fore);
            pal.setColor(QPalette::Text, fore);
        }
        w->setPalette(pal);
        w->setAutoFillBackground(s.kind == ElementKind::Shape || s.back.has_value());
    }
    // Readers are told only of real changes.
    if (const QString name = elementAccessibleName(e); !name.isEmpty() && w->accessibleName() != name)
        w->setAccessibleName(name);
    if (const QString description = elementAccessibleDescription(e, m_model);
        w->accessibleDescription() != description)
        w->setAccessibleDescription(description);
    w->setVisible(s.visible);
}

void MonitorMain::placeElement(Element e) {
    QWidget* w = m_widgets[index(e)];
    if (!w)
        return;
    const ElementState& s = m_model.element(e);
    QRect px = twipsToPixels(s.twips, m_dpi);
    if (s.tab >= 0) {
        // Tab positions count from the tab control's corner, tab strip included; the page starts below.
        const QPoint pageOrigin = m_pages[static_cast<std::size_t>(s.tab)]->mapTo(m_tabs, QPoint(0, 0));
        px.translate(-pageOrigin);
    }
    w->setGeometry(px);
}

void MonitorMain::placeAll() {
    for (Element e : kAllElements)
        placeElement(e);
}

void MonitorMain::buildMenus() {
    for (std::size_t i = 0; i < static_cast<std::size_t>(MenuItem::Count); ++i) {
        const auto item = static_cast<MenuItem>(i);
        const MenuItemState& s = m_model.menu(item);
        QMenu* parentMenu = s.parent ? m_menus[index(*s.parent)] : nullptr;
        if (s.submenu) {
            QMenu* menu = parentMenu ? parentMenu->addMenu(s.caption) : menuBar()->addMenu(s.caption);
            menu->setObjectName(QString::fromLatin1(MainWindowModel::name(item)));
            m_menus[i] = menu;
            m_actions[i] = menu->menuAction();
        } else {
            QAction* action = parentMenu ? parentMenu->addAction(s.caption) : menuBar()->addAction(s.caption);
            action->setObjectName(QString::fromLatin1(MainWindowModel::name(item)));
            // The model decides the check mark; the action's own toggling is put back before the handler
            // runs.
            connect(action, &QAction::triggered, this, [this, item] {
                updateMenu(item);
                m_model.trigger(item);
            });
            m_actions[i] = action;
        }
        updateMenu(item);
    }
}

void MonitorMain::updateMenu(MenuItem item) {
    QAction* action = m_actions[index(item)];
    if (!action)
        return;
    const MenuItemState& s = m_model.menu(item);
    action->setText(s.caption);
    if (!s.submenu) {
        action->setCheckable(s.checked);
        action->setChecked(s.checked);
    }
    action->setEnabled(s.enabled);
    action->setVisible(s.visible);
}

bool MonitorMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        clientResized();
        return false;
    }
    const bool isPage = watched == m_pages[0] || watched == m_pages[1];
    if (isPage && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        // The page's corner gives the tab strip's height; a change in it moves the tab elements.
        const int strip = static_cast<int>(std::lround(
            pixelsToTwips(static_cast<QWidget*>(watched)->mapTo(m_tabs, QPoint(0, 0)).y(), m_dpi)));
        if (strip != m_model.tabStripHeight()) {
            m_model.setTabStripHeight(strip);
            m_model.resize();
        }
        placeAll();
        return false;
    }
    const bool onTabControl = watched == m_tabs || watched == m_tabs->tabBar() || isPage;
    const QVariant tag = watched->property("corvaneElement");
    if (!onTabControl && !tag.isValid())
        return QMainWindow::eventFilter(watched, event);
    const Element e = onTabControl ? Element::SSTab1 : static_cast<Element>(tag.toInt());
    const ElementKind kind = m_model.element(e).kind;
    if (onTabControl &&
        (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonDblClick)) {
        // Buttons and labels on a page leave the moves they do not use to their parent; those moves
        // happened over the element, not over the tab control, and must not end the board's hover.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (static_cast<QWidget*>(watched)->childAt(mouse->position().toPoint()))
            return QMainWindow::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseMove:
        m_model.gesture(e, Gesture::MouseMove);
        break;
    case QEvent::MouseButtonDblClick:
        m_model.gesture(e, Gesture::DoubleClick);
        break;
    case QEvent::MouseButtonRelease: {
        // Buttons and check boxes report their clicks themselves (keyboard included).
        if (onTabControl || kind == ElementKind::Button || kind == ElementKind::CheckBox)
            break;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* w = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && w->rect().contains(mouse->position().toPoint()))
            m_model.gesture(e, Gesture::Click);
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MonitorMain::clientResized() {
    const QSize px = m_client->size();
    const QSize twips(static_cast<int>(std::lround(pixelsToTwips(px.width(), m_dpi))),
                      static_cast<int>(std::lround(pixelsToTwips(px.height(), m_dpi))));
    m_model.setClientSize(twips);
}

void MonitorMain::applyClientSize(const QSize& twips) {
    // The board widens the window and the board completion sets its height through the model; the
    // operator's own resizing arrives here too and then matches already.
    const QSize px = twipsToPixels(QRect(QPoint(0, 0), twips), m_dpi).size();
    if (px == m_client->size() || px.width() < 0 || px.height() < 0)
        return;
    const QSize before = size();
    resizeWithinScreen(QSize(width() + px.width() - m_client->width(), height() + px.height() - m_client->height()));
    // Already as large as the work area allows, the window does not change and reports no resize: the
    // model is given back the size the window keeps, or it would lay out a board taller than the window.
    if (size() == before)
        clientResized();
}

void MonitorMain::resizeWithinScreen(const QSize& wanted) {
    // A large switch asks for a window several screens tall; it is kept to the screen's work area
    // (decorations included) and the board scrolls inside it instead.
    const QScreen* s = screen();
    if (!s) {
        resize(wanted);
        return;
    }
    const QRect avail = s->availableGeometry();
    const QSize decoration = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    const QSize fitted = wanted.boundedTo(avail.size() - decoration);
    resize(fitted);
    if (!isVisible())
        return;
    // Kept inside the work area too, not only as small as it.
    QRect frame = frameGeometry();
    frame.setSize(fitted + decoration);
    if (frame.right() > avail.right())
        frame.moveRight(avail.right());
    if (frame.bottom() > avail.bottom())
        frame.moveBottom(avail.bottom());
    frame.moveLeft(std::max(frame.left(), avail.left()));
    frame.moveTop(std::max(frame.top(), avail.top()));
    if (frame.topLeft() != frameGeometry().topLeft())
        move(frame.topLeft());
}

void MonitorMain::addBoardZoom(BoardCanvas& canvas) {
    QMenu* view = m_menus[index(MenuItem::View)];
    if (!view)
        return;
    view->addSeparator();
    QAction* in = view->addAction(QStringLiteral("Zoom &In"));
    // "+" takes the shift key on many keyboards: the key under it zooms in too.
    in->setShortcuts({QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    QAction* out = view->addAction(QStringLiteral("Zoom &Out"));
    out->setShortcut(QKeySequence(QKeySequence::ZoomOut));
    QAction* actual = view->addAction(QStringLiteral("&Actual Size"));
    actual->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    BoardCanvas* board = &canvas;
    connect(in, &QAction::triggered, board, [board] { board->setZoom(zoomedIn(board->zoom())); });
    connect(out, &QAction::triggered, board, [board] { board->setZoom(zoomedOut(board->zoom())); });
    connect(actual, &QAction::triggered, board, [board] { board->setZoom(1.0); });
    const auto ends = [in, out](double zoom) {
        in->setEnabled(zoomedIn(zoom) != zoom);
        out->setEnabled(zoomedOut(zoom) != zoom);
    };
    connect(&canvas, &BoardCanvas::zoomChanged, this, ends);
    ends(canvas.zoom());
}

void MonitorMain::raiseWindow() {
    if (isMinimized())
        showNormal();
    else if (!isVisible())
        show();
    raise();
    activateWindow();
}

void MonitorMain::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

} // namespace corvane
