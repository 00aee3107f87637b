// Random edits checked against a plain list model: the controller's entries, numbers, selection
// and current entry must agree with a straightforward list after every step.
#include "PlaylistFixture.h"

namespace kelvra::playlist::test {
namespace {

struct PlainEntry {
    QString path;
    int number;
};

class PlaylistRandomEdits : public PlaylistFixture {};

TEST_F(PlaylistRandomEdits, AgreeWithAPlainList) {
    const unsigned seed = qEnvironmentVariableIsSet("KELVRA_SEED")
                              ? qEnvironmentVariableIntValue("KELVRA_SEED")
                              : std::random_device{}();
    SCOPED_TRACE(::testing::Message()
                 << "seed " << seed << " (rerun with KELVRA_SEED=" << seed << ")");
    std::mt19937 random(seed);
    std::vector<PlainEntry> plain;
    int position = 0;
    int selected = -1;
    int nextFile = 0;

    auto check = [&](int step, const char* op) {
        ASSERT_EQ(playlist_->count(), static_cast<int>(plain.size())) << op << " step " << step;
        for (int row = 0; row < playlist_->count(); ++row) {
            ASSERT_EQ(playlist_->path(row), plain[row].path) << op << " step " << step;
            ASSERT_EQ(playlist_->model().entry(row).number, plain[row].number)
                << op << " step " << step << " row " << row;
        }
        ASSERT_EQ(playlist_->selectedRow(), selected) << op << " step " << step;
        if (!plain.empty()) {
            ASSERT_EQ(playlist_->playlistPosition(), position) << op << " step " << step;
        }
    };
    auto select = [&](int row) {
        if (row == selected) return;
        selected = row;
        if (row >= 0 && row < static_cast<int>(plain.size())) position = row;
    };

    for (int step = 0; step < 400; ++step) {
        const int n = static_cast<int>(plain.size());
        const char* op = "";
        switch (random() % 7) {
            case 0: {
                op = "add";
                const int k = static_cast<int>(random() % 3) + 1;
                QStringList files;
                const int remembered = selected >= 0 ? selected : 0;
                for (int i = 0; i < k; ++i) {
                    files.push_back(QStringLiteral("/r/%1.mp3").arg(nextFile++));
                    plain.push_back({files.back(), static_cast<int>(plain.size()) + 1});
                }
                playlist_->loadsongs_to_playlist(files);
                position = static_cast<int>(plain.size()) - 1;
                select(remembered);
                break;
            }
            case 1:
                if (n == 0) break;
                op = "click";
                playlist_->listClicked(selected = static_cast<int>(random() % n));
                position = selected;
                break;
            case 2: {
                if (n == 0) break;
                op = "remove";
                dialogs_.answerNext(MessageResult::Yes);
                playlist_->removeCB_Click();
                const int row = selected >= 0 ? selected : position;
                plain.erase(plain.begin() + row);
                selected = -1;
                if (!plain.empty()) select(std::min(row, static_cast<int>(plain.size()) - 1));
                break;
            }
            case 3:
                op = "move down";
                playlist_->cmdMoveDown_Click();
                if (position + 1 < n) {
                    std::swap(plain[position], plain[position + 1]);
                    select(position + 1);
                }
                break;
            case 4:
                op = "move up";
                playlist_->cmdMoveUp_Click();
                if (position > 0 && position < n) {
                    std::swap(plain[position], plain[position - 1]);
                    select(position - 1);
                }
                break;
            case 5:
                if (random() % 8 != 0 || n == 0) break;
                op = "clear";
                dialogs_.answerNext(MessageResult::Yes);
                playlist_->clearCB_Click();
                plain.clear();
                selected = -1;
                break;
            case 6:
                op = "titles";
                clock_.advance(static_cast<int>(random() % 3));
                break;
        }
        check(step, op);
        if (HasFatalFailure()) return;
    }
    settle();
    for (int row = 0; row < playlist_->count(); ++row)
        EXPECT_EQ(playlist_->displayLine(row),
                  QStringLiteral("%1.  %2")
                      .arg(plain[row].number)
                      .arg(QFileInfo(plain[row].path).completeBaseName()));
}

}  // namespace
}  // namespace kelvra::playlist::test
