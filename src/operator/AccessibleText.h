#pragma once
// What a screen reader says of the main window's elements. Buttons and plain captions name
// themselves; the indicators get a name for what they show, and a description of their state where
// that lives in a colour, a size or a number rather than in words.

#include "common/MainWindowModel.h"

#include <QString>

namespace corvane {

// The element's accessible name; empty where its own caption is the name.
QString elementAccessibleName(Element e);
// The element's state as words: its caption when the name replaces it, its colour, the watchdog bar's
// fill.
QString elementAccessibleDescription(Element e, const MainWindowModel& model);

} // namespace corvane
