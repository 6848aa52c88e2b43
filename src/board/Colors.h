#pragma once
// The board's colour rules. Colours are 0x00BBGGRR values throughout.

#include "common/Units.h"

#include <cstdint>

namespace corvane {

// The colour of a state code: its low byte with the side flag (bit value 8) cleared picks the entry.
LegacyColor stateColor(std::int16_t state);
// True when the state code puts the channel on the R side.
inline bool isRSide(std::int16_t state) {
    return (state & 8) != 0;
}

// A group's colour: three phase-shifted sines over the group number times the colour scheme, each
// component from 0 to 80 in its byte. The R side is shifted by 0.15 so the two sides of a group differ.
LegacyColor groupColor(std::int16_t group, bool rSide, std::int16_t scheme);

// Black text on backgrounds whose green byte is above 0x80, white otherwise.
LegacyColor cellTextColor(LegacyColor background);

// A contrasting colour for the border of a cell with the given colour: black on light, white on dark.
LegacyColor borderColorFor(LegacyColor colour);

// The pair that TextSetColor gives an element: the background, and white text on black, red and blue
// only, black text on anything else.
struct TextColors {
    LegacyColor back;
    LegacyColor fore;
};
TextColors textSetColors(LegacyColor background);

} // namespace corvane
