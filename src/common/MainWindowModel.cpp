#include "common/MainWindowModel.h"

namespace corvane {

namespace {

struct ElementDesign {
    Element element;
    const char* name;
    ElementKind kind;
    int tab;
    int left, top, width, height;
    const char* caption;
    bool visible;
};

// The design-time layout; positions of tab elements are relative to the tab control's top-left corner.
// The watchdog bar shows only when monitor.ini asks for it (WD_PROGRESS).
constexpr ElementDesign kElements[] = {
    {Element::TCP, "TCP", ElementKind::Label, -1, 45, 45, 375, 255, "TCP", true},
    {Element::Repl, "Repl", ElementKind::Label, -1, 405, 45, 660, 255, "Replic", true},
    {Element::AckLbl, "AckLbl", ElementKind::Label, -1, 1125, 45, 555, 255, "", true},
    {Element::Label3, "Label3", ElementKind::Label, -1, 1215, 270, 375, 255, "Ack", true},
    {Element::PendingLbl, "PendingLbl", ElementKind::Label, -1, 1755, 90, 345, 195, "0000", true},
    {Element::Label2, "Label2", ElementKind::Label, -1, 1665, 270, 615, 225, "Pending:", true},
    {Element::WD_Back, "WD_Back", ElementKind::Shape, -1, 2160, 45, 1095, 270, "", false},
    {Element::WD_Progress, "WD_Progress", ElementKind::Shape, -1, 2160, 45, 585, 270, "", false},
    {Element::Label8, "Label8", ElementKind::Label, -1, 2295, 90, 870, 195, "Watchdog", false},
    {Element::lblPlatform, "lblPlatform", ElementKind::Label, -1, 3330, 0, 1245, 360, "Version:", true},
    {Element::lblVersion, "lblVersion", ElementKind::Label, -1, 4635, 45, 615, 285, "1.02", true},
    {Element::Label1, "Label1", ElementKind::Label, -1, 5310, 45, 735, 255, "Free Vox", true},
    {Element::FreeVox, "FreeVox", ElementKind::Label, -1, 5310, 270, 570, 240, "000/00", true},
    {Element::Recording, "Recording", ElementKind::Label, -1, 45, 270, 885, 225, "Recording", false},
    {Element::Image1, "Image1", ElementKind::Picture, -1, 6210, 45, 1800, 360, "", true},
    {Element::UDP_WD, "UDP_WD", ElementKind::Picture, -1, 8505, 0, 510, 480, "", false},
    {Element::SSTab1, "SSTab1", ElementKind::TabControl, -1, 225, 720, 9960, 6300, "", true},
    {Element::Command2_1, "Command2(1)", ElementKind::Button, 0, 120, 450, 735, 255, "&Include", true},
    {Element::Command2_0, "Command2(0)", ElementKind::Button, 0, 840, 450, 855, 255, "E&xclude", true},
    {Element::Truncate, "Truncate", ElementKind::CheckBox, 0, 1800, 480, 1095, 255, "Truncate", true},
    {Element::Command2_2, "Command2(2)", ElementKind::Button, 0, 3000, 480, 975, 255, "&Unmark All", true},
    {Element::StatsButton, "StatsButton", ElementKind::Button, 0, 4080, 480, 615, 255, "Stats", true},
    {Element::BoxClock, "BoxClock", ElementKind::Label, 0, 4800, 480, 1215, 255, "12:32:20 AM", false},
    {Element::Command2_3, "Command2(3)", ElementKind::Button, 0, 6060, 480, 735, 255, "MsgO&n", false},
    {Element::Command2_4, "Command2(4)", ElementKind::Button, 0, 6780, 480, 675, 255, "MsgO&ff", false},
    {Element::Command2_5, "Command2(5)", ElementKind::Button, 0, 7440, 480, 525, 255, "Start", false},
    {Element::Command2_6, "Command2(6)", ElementKind::Button, 0, 7965, 480, 525, 255, "Stop", false},
    {Element::Label4, "Label4", ElementKind::Label, 0, 8550, 495, 600, 240, "->Blast", false},
    // How many cells the per-channel buttons would act on, at the end of their row.
    {Element::MarkedCount, "MarkedCount", ElementKind::Label, 0, 9210, 495, 1000, 240, "0 marked", true},
    {Element::ControlWithdrawn, "ControlWithdrawn", ElementKind::Label, 0, 120, 450, 2775, 285,
     "Control withdrawn by the engine", false},
    {Element::Picture1, "Picture1", ElementKind::Board, 0, 240, 960, 8265, 4095, "", true},
    {Element::CallText, "CallText", ElementKind::Label, 0, 360, 5280, 7080, 255, "Call Information", true},
    {Element::LastAlarm, "LastAlarm", ElementKind::Label, 0, 360, 5640, 7080, 250, "Last Alarm", true},
    {Element::Command1, "Command1", ElementKind::Button, 1, 240, 480, 825, 285, "Clear", true},
    {Element::MaxCountLable, "MaxCountLable", ElementKind::Label, 1, 1200, 480, 1575, 315,
     "Alarm list max events", true},
    {Element::MaxListCount, "MaxListCount", ElementKind::TextBox, 1, 2700, 420, 495, 315, "200", true},
    {Element::AlarmsList, "AlarmsList", ElementKind::ListBox, 1, 240, 840, 7680, 4155, "", true},
};
static_assert(std::size(kElements) == static_cast<std::size_t>(Element::Count));

struct MenuDesign {
    MenuItem item;
    const char* name;
    const char* caption;
    std::optional<MenuItem> parent;
    bool submenu;
    bool checked;
    bool enabled;
};

// The menu tree in menu-bar order.
constexpr MenuDesign kMenus[] = {
    {MenuItem::Actions, "Actions", "&Actions", std::nullopt, true, false, true},
    {MenuItem::Commit, "Commit", "&Commit DB Changes", MenuItem::Actions, true, false, true},
    {MenuItem::CommitDb1, "CommitDb(1)", "&Sys_Param only", MenuItem::Commit, false, false, true},
    {MenuItem::CommitDb2, "CommitDb(2)", "State &Machines only", MenuItem::Commit, false, false, true},
    {MenuItem::CommitDb7, "CommitDb(7)", "Commit &All Db Changes", MenuItem::Commit, false, false, true},
    {MenuItem::HungTrunk, "HungTrunk", "&Hung Trunk Detector", MenuItem::Actions, false, false, true},
    {MenuItem::KillLapLink, "KillLapLink", "&Kill LapLink", MenuItem::Actions, false, false, true},
    {MenuItem::UnloadApp, "UnloadApp", "&UnLoad App", MenuItem::Actions, false, false, true},
    {MenuItem::Options, "Options", "&Options", std::nullopt, true, false, true},
    {MenuItem::TestPage, "TestPage", "&Test Watchdog page", MenuItem::Options, false, false, true},
    {MenuItem::PlayLog, "PlayLog", "&Play Log File", MenuItem::Options, false, false, true},
    {MenuItem::LogMsgs, "LogMsgs", "&Record Log File", MenuItem::Options, false, false, true},
    {MenuItem::EmailPageAdmin, "EmailPageAdmin", "&E-mail Page", MenuItem::Options, true, false, true},
    {MenuItem::EnablePager, "EnablePager", "Enable &Pager", MenuItem::EmailPageAdmin, false, false, true},
    {MenuItem::PromptAddresses, "PromptAddresses", "&e-mail Addresses", MenuItem::EmailPageAdmin, false,
     false, false},
    {MenuItem::AlarmMask, "AlarmMask", "Alarm Masks for Paging and Sounds", MenuItem::Options, true, false,
     true},
    {MenuItem::PageNumberMask, "PageNumberMask", "Alarm &Number Mask", MenuItem::AlarmMask, false, false,
     true},
    {MenuItem::PageStringMask, "PageStringMask", "Alarm String &Mask", MenuItem::AlarmMask, false, false,
     true},
    {MenuItem::PageStrAllow, "PageStrAllow", "Alarm String &Allow", MenuItem::AlarmMask, false, false, true},
    {MenuItem::AllowSounds, "AllowSounds", "&Allow Sounds", MenuItem::Options, false, false, true},
    {MenuItem::WDTO, "WDTO", "&Watchdog Timeout", MenuItem::Options, false, false, true},
    {MenuItem::DisableChat, "DisableChat", "Disable chat", MenuItem::Options, false, false, true},
    {MenuItem::MakeIniFile, "MakeIniFile", "Make &ini file with current settings", MenuItem::Options, false,
     false, true},
    {MenuItem::View, "View", "&View", std::nullopt, true, false, true},
    {MenuItem::RefreshInfo, "RefreshInfo", "Refresh &Info", MenuItem::View, false, false, true},
    {MenuItem::Refresh, "Refresh", "&ReConnect", MenuItem::View, false, false, true},
    {MenuItem::CallDet, "CallDet", "&Call Detail Window", MenuItem::View, false, false, true},
    {MenuItem::MegBst, "MegBst", "&Message Broadcast Window", MenuItem::View, false, false, true},
    {MenuItem::StatsWin, "StatsWin", "Stats &Window", MenuItem::View, false, false, true},
    {MenuItem::GroupColorOption, "GroupColorOption", "&Group Colors", MenuItem::View, true, false, true},
    {MenuItem::GroupColors0, "GroupColors(0)", "&No Color", MenuItem::GroupColorOption, false, false, true},
    {MenuItem::GroupColors1, "GroupColors(1)", "Group Color &1", MenuItem::GroupColorOption, false, false,
     true},
    {MenuItem::GroupColors2, "GroupColors(2)", "Group Color &2", MenuItem::GroupColorOption, false, false,
     true},
    {MenuItem::GroupColors3, "GroupColors(3)", "Group Color &3", MenuItem::GroupColorOption, false, false,
     true},
    {MenuItem::ShowRouteLines, "ShowRouteLines", "&Show Route Lines", MenuItem::View, false, true, true},
    {MenuItem::LabelFonts, "LabelFonts", "&Label Fonts", MenuItem::View, true, false, true},
    {MenuItem::FontNarrow, "FontNarrow", "Font Narrow", MenuItem::LabelFonts, false, false, true},
    {MenuItem::BoldFont, "BoldFont", "Bold", MenuItem::LabelFonts, false, true, true},
    {MenuItem::FontSizes, "FontSizes", "Size", MenuItem::LabelFonts, true, false, true},
    {MenuItem::SizeF8, "SizeF(8)", "8", MenuItem::FontSizes, false, false, true},
    {MenuItem::SizeF9, "SizeF(9)", "9", MenuItem::FontSizes, false, false, true},
    {MenuItem::SizeF10, "SizeF(10)", "10", MenuItem::FontSizes, false, true, true},
    {MenuItem::SizeF11, "SizeF(11)", "11", MenuItem::FontSizes, false, false, true},
    {MenuItem::SizeF12, "SizeF(12)", "12", MenuItem::FontSizes, false, false, true},
    {MenuItem::Help, "Help", "&Help", std::nullopt, true, false, true},
    {MenuItem::About, "About", "&About", MenuItem::Help, false, false, true},
};
static_assert(std::size(kMenus) == static_cast<std::size_t>(MenuItem::Count));

} // namespace

MainWindowModel::MainWindowModel() {
    for (const ElementDesign& d : kElements) {
        ElementState& s = m_elements[index(d.element)];
        s.kind = d.kind;
        s.tab = d.tab;
        s.twips = QRect(d.left, d.top, d.width, d.height);
        s.caption = QString::fromLatin1(d.caption);
        s.visible = d.visible;
    }
    m_elements[index(Element::Truncate)].checked = true;
    for (const MenuDesign& d : kMenus) {
        MenuItemState& s = m_menus[index(d.item)];
        s.caption = QString::fromLatin1(d.caption);
        s.parent = d.parent;
        s.submenu = d.submenu;
        s.checked = d.checked;
        s.enabled = d.enabled;
    }
}

const char* MainWindowModel::name(Element e) {
    return kElements[index(e)].name;
}
const char* MainWindowModel::name(MenuItem m) {
    return kMenus[index(m)].name;
}

void MainWindowModel::changed(Element e) {
    if (m_batchDepth == 0) {
        emit elementChanged(e);
        return;
    }
    m_changed[index(e)] = true;
    // Should the event loop run before the batch closes (a dialog), the window is brought up to date then.
    if (!m_tellPosted) {
        m_tellPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_tellPosted = false;
                tellChanged();
            },
            Qt::QueuedConnection);
    }
}

void MainWindowModel::endBatch() {
    if (--m_batchDepth == 0)
        tellChanged();
}

void MainWindowModel::tellChanged() {
    for (std::size_t i = 0; i < m_changed.size(); ++i) {
        if (!m_changed[i])
            continue;
        m_changed[i] = false;
        emit elementChanged(static_cast<Element>(i));
    }
}

void MainWindowModel::setCaption(Element e, const QString& caption) {
    ElementState& s = m_elements[index(e)];
    if (s.caption == caption)
        return;
    s.caption = caption;
    changed(e);
}

void MainWindowModel::setToolTip(Element e, const QString& toolTip) {
    ElementState& s = m_elements[index(e)];
    if (s.toolTip == toolTip)
        return;
    s.toolTip = toolTip;
    changed(e);
}

void MainWindowModel::setVisible(Element e, bool visible) {
    ElementState& s = m_elements[index(e)];
    if (s.visible == visible)
        return;
    s.visible = visible;
    changed(e);
}

void MainWindowModel::setEnabled(Element e, bool enabled) {
    ElementState& s = m_elements[index(e)];
    if (s.enabled == enabled)
        return;
    s.enabled = enabled;
    changed(e);
}

void MainWindowModel::setChecked(Element e, bool checked) {
    ElementState& s = m_elements[index(e)];
    if (s.checked == checked)
        return;
    s.checked = checked;
    changed(e);
}

void MainWindowModel::setBack(Element e, std::optional<LegacyColor> colour) {
    ElementState& s = m_elements[index(e)];
    if (s.back == colour)
        return;
    s.back = colour;
    changed(e);
}

void MainWindowModel::setFore(Element e, std::optional<LegacyColor> colour) {
    ElementState& s = m_elements[index(e)];
    if (s.fore == colour)
        return;
    s.fore = colour;
    changed(e);
}

void MainWindowModel::setGeometry(Element e, const QRect& twips) {
    ElementState& s = m_elements[index(e)];
    if (s.twips == twips)
        return;
    s.twips = twips;
    changed(e);
}

void MainWindowModel::setMenuChecked(MenuItem m, bool checked) {
    MenuItemState& s = m_menus[index(m)];
    if (s.checked == checked)
        return;
    s.checked = checked;
    emit menuChanged(m);
}

void MainWindowModel::setMenuEnabled(MenuItem m, bool enabled) {
    MenuItemState& s = m_menus[index(m)];
    if (s.enabled == enabled)
        return;
    s.enabled = enabled;
    emit menuChanged(m);
}

void MainWindowModel::setMenuVisible(MenuItem m, bool visible) {
    MenuItemState& s = m_menus[index(m)];
    if (s.visible == visible)
        return;
    s.visible = visible;
    emit menuChanged(m);
}

void MainWindowModel::trigger(MenuItem m) {
    // A copy: the action may install another action for its own item.
    const auto action = m_actions[index(m)];
    if (action)
        action();
}

void MainWindowModel::gesture(Element e, Gesture g) {
    const auto action = m_elementActions[index(e)][static_cast<std::size_t>(g)];
    if (action)
        action();
}

void MainWindowModel::setWindowCaption(const QString& caption) {
    if (m_windowCaption == caption)
        return;
    m_windowCaption = caption;
    emit windowCaptionChanged(caption);
}

void MainWindowModel::setCurrentTab(int tab) {
    if (m_currentTab == tab)
        return;
    m_currentTab = tab;
    emit currentTabChanged(tab);
}

void MainWindowModel::setClientSize(const QSize& twips) {
    m_clientSize = twips;
    resize();
    emit clientSizeChanged(twips);
}

void MainWindowModel::applySize(Element e, std::optional<int> top, std::optional<int> left,
                                std::optional<int> width, std::optional<int> height) {
    // A negative width or height is not applied; the element keeps its previous value for it.
    QRect r = m_elements[index(e)].twips;
    if (left)
        r.moveLeft(*left);
    if (top)
        r.moveTop(*top);
    if (width && *width >= 0)
        r.setWidth(*width);
    if (height && *height >= 0)
        r.setHeight(*height);
    setGeometry(e, r);
}

void MainWindowModel::resize() {
    const int sw = m_clientSize.width();
    const int sh = m_clientSize.height();
    applySize(Element::SSTab1, 500, 0, sw, sh - 400);
    // The tabs are switched only for the layout's sake: the current tab is the same afterwards.
    const int w = element(Element::SSTab1).twips.width();
    const int h = element(Element::SSTab1).twips.height();
    const int callHeight = element(Element::CallText).twips.height();
    applySize(Element::CallText, h - 2 * callHeight - 200, std::nullopt, w - 600, std::nullopt);
    applySize(Element::LastAlarm, h - callHeight - 100, std::nullopt, w - 600, std::nullopt);
    const int t = m_tabStripHeight;
    const int boardTop = t + 500;
    applySize(Element::Picture1, boardTop, 100, w - 500, element(Element::CallText).twips.top() - t - 500);
    applySize(Element::AlarmsList, std::nullopt, std::nullopt, w - 500, h - t - 750);
}

} // namespace corvane
