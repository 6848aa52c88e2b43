#include "windows/CallDetail.h"

#include "board/BoardModel.h"
#include "board/Colors.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "common/MonitorConfig.h"

namespace corvane {

CallDetail::CallDetail(const MonitorConfig& config, const BoardModel& board)
    : m_config(config), m_board(board) {}

void CallDetail::setScrollValText(const QString& text) {
    if (m_scrollValText == text)
        return;
    m_scrollValText = text;
    emit changed();
}

void CallDetail::load() {
    m_loaded = true;
    // The window and its lines keep the widths they had when it was closed, so they still agree.
    m_caption = QStringLiteral("Call Detail ") + m_config.title;
    // The range is taken now: spans added to the board later are reached by the keys only.
    const int low = m_board.gblBrdMin();
    const int high = m_board.gblBrdMax();
    m_scrollMax = high * 100;
    m_scrollMin = low * 100;
    m_scrollValue = m_scrollMin;
    m_scrollValVisible = false;
    setPage(low);
    m_scrollValText = numberText(m_page);
    initPage();
}

void CallDetail::show() {
    if (!m_loaded)
        load();
    if (m_visible)
        return;
    m_visible = true;
    emit visibilityChanged(true);
}

void CallDetail::close() {
    m_loaded = false;
    if (!m_visible)
        return;
    m_visible = false;
    emit visibilityChanged(false);
}

void CallDetail::setPage(int page) {
    m_page = static_cast<std::int16_t>(page);
}

void CallDetail::initPage() {
    for (int i = 1; i <= kLines; ++i) {
        CallDetailLine& l = m_lines[static_cast<std::size_t>(i - 1)];
        l.visible = false;
        // A line whose channel (or whose peer's channel) has no cell stays hidden.
        const int ch = m_page * 100 + i;
        const ChannelCell* cell = m_board.cell(ch);
        if (!cell)
            continue;
        const TextColors colours = textSetColors(cell->stateColor);
        l.back = colours.back;
        l.fore = colours.fore;
        if (cell->side == 'R') {
            l.text = cell->callInfo;
        } else if (cell->hasPeerTag()) {
            const ChannelCell* peer = m_board.cell(cell->peerNumber());
            if (!peer)
                continue;
            l.text = peer->callInfo;
        } else {
            l.text = numberText(ch);
        }
        l.visible = true;
    }
    emit changed();
}

void CallDetail::scrollDragged(int value) {
    m_scrollValue = value;
    m_scrollValVisible = true;
    setPage(value / 100);
    m_scrollValText = numberText(m_page);
    emit changed();
}

void CallDetail::scrollChanged(int value) {
    m_scrollValue = value;
    setPage(value / 100);
    m_scrollValVisible = false;
    m_scrollValText = numberText(m_page);
    initPage();
}

void CallDetail::pageUp() {
    int page = m_page - 1;
    if (page < m_board.gblBrdMin())
        page = m_board.gblBrdMax();
    setPage(page);
    initPage();
}

void CallDetail::pageDown() {
    int page = m_page + 1;
    if (page > m_board.gblBrdMax())
        page = m_board.gblBrdMin();
    setPage(page);
    initPage();
}

void CallDetail::typed(QChar c) {
    if (c == u'!')
        setPage(std::max(m_page - 1, m_board.gblBrdMin()));
    else if (c == u'"')
        setPage(std::min(m_page + 1, m_board.gblBrdMax()));
}

void CallDetail::resized(int windowWidth) {
    const int width = m_lineWidth + (windowWidth - m_windowWidth);
    if (width > 0 && width != m_lineWidth) {
        m_lineWidth = width;
        emit changed();
    }
    m_windowWidth = windowWidth;
}

void CallDetail::setLine(int i, const CallDetailLine& line) {
    if (i < 1 || i > kLines)
        return;
    m_lines[static_cast<std::size_t>(i - 1)] = line;
    emit changed();
}

void CallDetail::channelReported(int id) {
    if (!m_visible || id / 100 != m_page)
        return;
    const ChannelCell* cell = m_board.cell(id);
    const int i = id % 100;
    if (!cell || i < 1 || i > kLines)
        return;
    CallDetailLine l = line(i);
    const TextColors colours = textSetColors(cell->stateColor);
    l.back = colours.back;
    l.fore = colours.fore;
    setLine(i, l);
}

void CallDetail::callInfoArrived(int id, int peer, const QString& body) {
    if (!m_visible)
        return;
    int i = 0;
    if (id / 100 == m_page)
        i = id % 100;
    else if (peer / 100 == m_page)
        i = peer % 100;
    else
        return;
    if (i < 1 || i > kLines)
        return;
    CallDetailLine l = line(i);
    l.text = body;
    setLine(i, l);
}

CallDetailList::CallDetailList(MainWindowModel& ui, const MonitorConfig& config, BoardModel& board)
    : m_config(config), m_board(board) {
    ui.setMenuAction(MenuItem::CallDet, [this] { open(); });
}

CallDetailList::~CallDetailList() = default;

void CallDetailList::connectBoard() {
    // Connected at the first opening: until then there is no window to keep up to date.
    if (m_boardConnected)
        return;
    m_boardConnected = true;
    connect(&m_board, &BoardModel::channelReported, this, [this](int id) {
        for (auto& w : m_windows)
            w->channelReported(id);
    });
    connect(&m_board, &BoardModel::callInfoArrived, this, [this](int id, int peer, const QString& body) {
        for (auto& w : m_windows)
            w->callInfoArrived(id, peer, body);
    });
}

CallDetail& CallDetailList::open() {
    connectBoard();
    CallDetail* chosen = nullptr;
    for (auto& w : m_windows) {
        if (!w->isVisible()) {
            chosen = w.get();
            break;
        }
    }
    if (!chosen) {
        m_windows.push_back(std::make_unique<CallDetail>(m_config, m_board));
        chosen = m_windows.back().get();
        emit created(*chosen);
    }
    if (!chosen->isLoaded())
        chosen->load();
    chosen->setScrollValText(QStringLiteral("1"));
    chosen->show();
    return *chosen;
}

} // namespace corvane
