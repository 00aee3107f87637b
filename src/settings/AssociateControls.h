// The controls of the association window `frmAssociate` as models.
#pragma once

#include <array>

#include "core/ControlModels.h"

namespace kelvra::settings {

struct AssociateControls {
    // In the frame "Always open these files with Kelvra:", in the order the window shows them.
    CheckModel chkMP3{QStringLiteral("MP3 - Mpeg Audio Format...")};
    CheckModel chkWMA{QStringLiteral("WMA - Windows Media Audio...")};
    CheckModel chkWAV{QStringLiteral("WAV - Standard PCM WAV...")};
    CheckModel chkASF{QStringLiteral("ASF - Advanced Streaming Format...")};
    CheckModel chkM3U{QStringLiteral("M3U- Quelmara1 Playlists...")};
    ButtonModel cmdAssociate{QStringLiteral("Update")};
    CheckModel chkStartupShow;
    ButtonModel lblStartup{QStringLiteral("Show on startup.")};

    // The boxes in the association table's order: MP3, WMA, ASF, WAV, M3U.
    std::array<CheckModel*, 5> types() { return {&chkMP3, &chkWMA, &chkASF, &chkWAV, &chkM3U}; }
};

}  // namespace kelvra::settings
