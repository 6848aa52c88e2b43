#include "alarms/Sounds.h"

#include "common/MainWindowModel.h"
#include "platform/Tones.h"

namespace corvane {

void Sounds::play(int frequencyHz, int durationMs) const {
    if (m_ui.isChecked(MenuItem::AllowSounds))
        m_tones.play(frequencyHz, durationMs);
}

} // namespace corvane
