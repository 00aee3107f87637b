#include "app/MainControls.h"

#include "core/Version.h"

namespace kelvra::app {

std::array<Panel, 3> panelOrder(int djSetup) {
    switch (djSetup) {
        case 1:
            return {Panel::Mixer, Panel::LeftDeck, Panel::RightDeck};
        case 2:
            return {Panel::LeftDeck, Panel::RightDeck, Panel::Mixer};
        default:
            return {Panel::LeftDeck, Panel::Mixer, Panel::RightDeck};
    }
}

std::array<PanelPlacement, 3> placePanels(int djSetup, int leftDeckWidth, int mixerWidth,
                                          int rightDeckWidth) {
    const std::array<int, 3> widths = {leftDeckWidth, mixerWidth, rightDeckWidth};
    std::array<PanelPlacement, 3> placement{};
    int left = 140;
    for (Panel panel : panelOrder(djSetup)) {
        const auto index = static_cast<std::size_t>(panel);
        placement[index] = {left, panel == Panel::Mixer ? 790 : 390};
        left += widths[index] + 10;
    }
    return placement;
}

MainControls::MainControls()
    : titleCaption(QStringLiteral("        ") + kProductName),
      close("", "Exit"),
      minimize("", "Minimize"),
      previousSong("", "Previous Song..."),
      nextSong("", "Next Song..."),
      openPlaylist("", "Open Playlist..."),
      openLibrary("", "Open the Library...") {
    nextSongText.setToolTip("\"Drag and drop\" the song on a player...");
    const char* hints[] = {"Q", "S", "R", "2", "V", "N", "B", "U", "0", "K", "P"};
    for (std::size_t i = 0; i < keyboardHints.size(); ++i)
        keyboardHints[i].setCaption(hints[i]);
    keyboardSheet.setVisible(false);
    dropouts.setVisible(false);

    auto add = [this](const char* name, const char* alias, const char* caption, ButtonModel* button,
                      TextModel* text = nullptr) {
        RegisteredControl control;
        control.name = QLatin1String(name);
        control.alias = QLatin1String(alias);
        control.caption = QString::fromUtf8(caption);
        control.button = button;
        control.text = text;
        registry.add(std::move(control));
    };
    mixer.registerControls(registry);
    add("upCB", "playlist.previous", "Playlist: Previous song", &previousSong);
    add("downCB", "playlist.next", "Playlist: Next song", &nextSong);
    add("playListCB", "window.playlist", "Show the playlist", &openPlaylist);
    add("libraryCB", "window.library", "Show the library", &openLibrary);
    add("nextSongTXT", "playlist.next_song", "Playlist: The next song's box", nullptr,
        &nextSongText);
    left.registerControls(registry);
    right.registerControls(registry);
    effects.registerControls(registry);
}

}  // namespace kelvra::app
