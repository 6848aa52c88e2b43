#include "messages/ChannelHandlers.h"

#include "board/BoardModel.h"
#include "board/Colors.h"
#include "common/LegacyText.h"
#include "common/MainWindowModel.h"
#include "messages/Dispatcher.h"

namespace corvane {

namespace {

// A number that does not fit in 16 bits leaves its variable at 0.
int field(const Fields& f, int k) {
    return f.int16(k).value_or(0);
}

void showCallText(MainWindowModel& ui, const ChannelCell* c, std::optional<QStringView> caption) {
    // The colour comes from the channel's cell; without a cell only the caption changes.
    if (c) {
        const TextColors colours = textSetColors(c->stateColor);
        ui.setBack(Element::CallText, colours.back);
        ui.setFore(Element::CallText, colours.fore);
    }
    if (caption)
        ui.setCaption(Element::CallText, caption->toString());
}

// The first call information gives the background square the position's number.
void markPosition(BoardModel& board, ChannelCell* c, int id) {
    if (c && leadingNumber(c->positionTag) == 0)
        board.setPositionTag(id, numberText(static_cast<long long>(id % 100)));
}

struct StoredCallInfo {
    int id;
    ChannelCell* cell; // null when the channel has no cell yet
    QString text;
};

// The steps that "c" and "C" share: the channel's position tag and its call information.
StoredCallInfo storeCallInfo(BoardModel& board, QStringView body) {
    const int id = leadingInt16(body).value_or(0);
    QString text = body.toString();
    ChannelCell* c = board.cell(id);
    markPosition(board, c, id);
    if (c)
        board.setCallInfo(id, text);
    return {id, c, std::move(text)};
}

} // namespace

void installChannelHandlers(Dispatcher& dispatcher, BoardModel& board, MainWindowModel& ui) {
    dispatcher.setHandler('t', [&board, &ui](QStringView body) { handleStateReport(board, ui, body); });
    dispatcher.setHandler('c', [&board, &ui](QStringView body) { handleCallInfo(board, ui, body); });
    dispatcher.setHandler('C', [&board, &ui](QStringView body) { handlePairCallInfo(board, ui, body); });
}

void handleStateReport(BoardModel& board, MainWindowModel& ui, QStringView body) {
    const Fields f(body);
    // The message carries the group before the state.
    const int id = field(f, 1);
    const auto group = static_cast<std::int16_t>(field(f, 2));
    const auto state = static_cast<std::int16_t>(field(f, 3));
    const int peer = field(f, 4);
    board.paintChannel(id, state, group, peer);
    const ChannelCell* c = board.cell(id);
    if (!c)
        return;
    if (id == board.gblidx())
        showCallText(ui, c, std::nullopt);
    emit board.channelReported(id);
}

void handleCallInfo(BoardModel& board, MainWindowModel& ui, QStringView body) {
    const auto [id, c, text] = storeCallInfo(board, body);
    int peer = 0;
    if (c) {
        if (!c->isMarked() && text.contains(QLatin1String("Blocked")))
            board.setMark(id, QStringLiteral("!"));
        peer = toInt16(c->peerNumber()).value_or(0);
    }
    if (c && (c->side == 'R' || id < 100 || peer < 100))
        board.dimColor(id, text.toUpper().contains(QLatin1String("ALERTING")));
    if (id == board.gblidx() || board.gblidx() == 0)
        showCallText(ui, c, QStringView(text));
    emit board.callInfoArrived(id, peer, text);
}

void handlePairCallInfo(BoardModel& board, MainWindowModel& ui, QStringView body) {
    const auto [id, c, text] = storeCallInfo(board, body);
    int peer = 0;
    if (c) {
        peer = toInt16(c->peerNumber()).value_or(0);
        if (peer != 0)
            board.setCallInfo(peer, text);
    }
    // Nothing is shown while no channel is selected.
    if (board.gblidx() != 0 && (id == board.gblidx() || peer == board.gblidx()))
        showCallText(ui, c, QStringView(text));
    emit board.callInfoArrived(id, peer, text);
}

} // namespace corvane
