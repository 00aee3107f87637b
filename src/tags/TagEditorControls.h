// The controls of the tag editor window `editTagsF` as models: the tag-format choice, one set of
// boxes per view (ID3v1, ID3v2, WMA/ASF, all at the same place, one visible at a time) and the
// three buttons.
#pragma once

#include <array>

#include "core/ControlModels.h"

namespace kelvra::tags {

// Indices of the option array `ID3ver`, the frames `frameTagInfo` and the box arrays.
enum TagView : int { kViewID3v1 = 0, kViewID3v2 = 1, kViewWma = 2, kViewCount = 3 };

// The boxes of one frame `frameTagInfo`(i): `txtSong`(i), `txtArtist`(i), `txtAlbum`(i),
// `txtComments`(i), `txtYear`(i) and `cmbGenre`(i).
struct TagBoxes {
    TextModel song;
    TextModel artist;
    TextModel album;
    TextModel comments;
    TextModel year;
    ChoiceModel genre;

    // The five text boxes in the order the copy and the save walk them.
    std::array<TextModel*, 5> texts() { return {&song, &artist, &album, &year, &comments}; }
};

struct TagEditorControls {
    // `ID3ver`, in the frame `FrameID3choice` "Tag Format:".
    ChoiceModel ID3ver{
        {QStringLiteral("ID3v1 "), QStringLiteral("ID3v2"), QStringLiteral("WMA/ASF")}};
    // `frameTagInfo`: the current index is the one visible frame.
    ChoiceModel frameTagInfo{
        {QStringLiteral("ID3V1:"), QStringLiteral("ID3V2:"), QStringLiteral("WMA:")}};
    std::array<TagBoxes, kViewCount> boxes;
    ButtonModel cmdSave{QStringLiteral("Save")};
    ButtonModel cmdClose{QStringLiteral("Cancel")};
    ButtonModel cmdCopyTags{QStringLiteral("Copy ID3v2")};
    // A plain warning under the ID3v1 boxes when a typed character has no place in ID3v1's
    // single-byte fields; empty when every character fits.
    TextModel id3v1Notice;
};

}  // namespace kelvra::tags
