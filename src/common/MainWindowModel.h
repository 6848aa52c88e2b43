#pragma once
// The main window's elements and menus as plain state: captions, colours, visibility, geometry in
// twips, menu checks. Handlers and timers change this model; the widget only draws it and forwards the
// operator's actions. Tests read it without a display.

#include "common/Units.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace corvane {

enum class Element {
    // The top strip, relative to the client area.
    TCP,
    Repl,
    AckLbl,
    Label3,
    PendingLbl,
    Label2,
    WD_Back,
    WD_Progress,
    Label8,
    lblPlatform,
    lblVersion,
    Label1,
    FreeVox,
    Recording,
    Image1,
    UDP_WD,
    SSTab1,
    // Tab "Channel Status", relative to the tab control.
    Command2_1,
    Command2_0,
    Truncate,
    Command2_2,
    StatsButton,
    BoxClock,
    Command2_3,
    Command2_4,
    Command2_5,
    Command2_6,
    Label4,
    MarkedCount,
    ControlWithdrawn, // shown where Exclude and Include were once the engine has withdrawn them
    Picture1,
    CallText,
    LastAlarm,
    // Tab "Alarms", relative to the tab control.
    Command1,
    MaxCountLable,
    MaxListCount,
    AlarmsList,
    Count
};

enum class ElementKind { Label, Shape, Picture, Button, CheckBox, TextBox, ListBox, Board, TabControl };

struct ElementState {
    ElementKind kind = ElementKind::Label;
    int tab = -1; // -1: the top strip or the tab control itself; 0 or 1: the tab it sits on
    QRect twips;  // left, top, width, height in twips
    QString caption;
    QString toolTip;
    bool visible = true;
    bool enabled = true;
    bool checked = false;            // check boxes
    std::optional<LegacyColor> back; // none: the element's own look
    std::optional<LegacyColor> fore;
};

enum class MenuItem {
    Actions,
    Commit,
    CommitDb1,
    CommitDb2,
    CommitDb7,
    HungTrunk,
    KillLapLink,
    UnloadApp,
    Options,
    TestPage,
    PlayLog,
    LogMsgs,
    EmailPageAdmin,
    EnablePager,
    PromptAddresses,
    AlarmMask,
    PageNumberMask,
    PageStringMask,
    PageStrAllow,
    AllowSounds,
    WDTO,
    DisableChat,
    MakeIniFile,
    View,
    RefreshInfo,
    Refresh,
    CallDet,
    MegBst,
    StatsWin,
    GroupColorOption,
    GroupColors0,
    GroupColors1,
    GroupColors2,
    GroupColors3,
    ShowRouteLines,
    LabelFonts,
    FontNarrow,
    BoldFont,
    FontSizes,
    SizeF8,
    SizeF9,
    SizeF10,
    SizeF11,
    SizeF12,
    Help,
    About,
    Count
};

struct MenuItemState {
    QString caption;
    std::optional<MenuItem> parent; // none: on the menu bar
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    bool submenu = false;
};

class MainWindowModel : public QObject {
    Q_OBJECT
public:
    static constexpr int kDesignClientWidth = 10275;
    static constexpr int kDesignClientHeight = 8865;
    static constexpr const char* kDesignCaption = "Monitor ";

    MainWindowModel();

    const ElementState& element(Element e) const { return m_elements[index(e)]; }
    void setCaption(Element e, const QString& caption);
    void setToolTip(Element e, const QString& toolTip);
    void setVisible(Element e, bool visible);
    void setEnabled(Element e, bool enabled);
    void setChecked(Element e, bool checked);
    void setBack(Element e, std::optional<LegacyColor> colour);
    void setFore(Element e, std::optional<LegacyColor> colour);
    void setGeometry(Element e, const QRect& twips);

    const MenuItemState& menu(MenuItem m) const { return m_menus[index(m)]; }
    void setMenuChecked(MenuItem m, bool checked);
    void setMenuEnabled(MenuItem m, bool enabled);
    void setMenuVisible(MenuItem m, bool visible);
    bool isChecked(MenuItem m) const { return menu(m).checked; }

    // What a menu item does when chosen; the subsystem that owns the item installs it.
    void setMenuAction(MenuItem m, std::function<void()> action) { m_actions[index(m)] = std::move(action); }
    void trigger(MenuItem m);

    // What a click, a double-click or a mouse move on an element does; the owning subsystem installs it
    // and the widget calls it. A check box's click runs after its checked state has changed.
    enum class Gesture { Click, DoubleClick, MouseMove, Count };
    void setElementAction(Element e, Gesture g, std::function<void()> action) {
        m_elementActions[index(e)][static_cast<std::size_t>(g)] = std::move(action);
    }
    void gesture(Element e, Gesture g);

    QString windowCaption() const { return m_windowCaption; }
    void setWindowCaption(const QString& caption);

    int currentTab() const { return m_currentTab; }
    void setCurrentTab(int tab);

    // The client area in twips; setting it runs the resize steps.
    QSize clientSize() const { return m_clientSize; }
    void setClientSize(const QSize& twips);
    // The height of the tab control's row of tabs, as the widget in use reports it.
    void setTabStripHeight(int twips) { m_tabStripHeight = twips; }
    int tabStripHeight() const { return m_tabStripHeight; }
    // The resize steps on the current client area.
    void resize();

    // Asks the window to show itself (restored if minimised) and come to the front: events, a silent
    // engine.
    void requestRaise() { emit raiseRequested(); }

    // The element that a design caption belongs to, for the widget's look-ups.
    static const char* name(Element e);
    static const char* name(MenuItem m);

    // While a batch is open, elementChanged is sent once for each changed element when the outermost
    // batch closes (or earlier, when the event loop runs in the middle, as a dialog's does): message
    // processing changes the same few captions thousands of times between two paints. The elements'
    // values change at once as always; only the telling is gathered.
    class Batch {
    public:
        explicit Batch(MainWindowModel& model) : m_model(model) { ++m_model.m_batchDepth; }
        ~Batch() { m_model.endBatch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        MainWindowModel& m_model;
    };

signals:
    void elementChanged(corvane::Element element);
    void menuChanged(corvane::MenuItem item);
    void windowCaptionChanged(const QString& caption);
    void currentTabChanged(int tab);
    void clientSizeChanged(const QSize& twips);
    void raiseRequested();

private:
    template <typename E> static constexpr std::size_t index(E e) { return static_cast<std::size_t>(e); }
    void applySize(Element e, std::optional<int> top, std::optional<int> left, std::optional<int> width,
                   std::optional<int> height);
    void changed(Element e);
    void endBatch();
    void tellChanged();

    std::array<ElementState, static_cast<std::size_t>(Element::Count)> m_elements;
    std::array<MenuItemState, static_cast<std::size_t>(MenuItem::Count)> m_menus;
    std::array<std::function<void()>, static_cast<std::size_t>(MenuItem::Count)> m_actions;
    std::array<std::array<std::function<void()>, static_cast<std::size_t>(Gesture::Count)>,
               static_cast<std::size_t>(Element::Count)>
        m_elementActions;
    QString m_windowCaption = QString::fromLatin1(kDesignCaption);
    int m_currentTab = 0;
    QSize m_clientSize{kDesignClientWidth, kDesignClientHeight};
    int m_tabStripHeight = 0;
    int m_batchDepth = 0;
    bool m_tellPosted = false;
    std::array<bool, static_cast<std::size_t>(Element::Count)> m_changed{};
};

} // namespace corvane
