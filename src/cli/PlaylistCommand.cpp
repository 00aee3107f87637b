// kelvra-cli playlist FILE.m3u: the lines the playlist window shows after opening the file
// ("N.  title"), one per line, once every title has been read. A file that cannot be read, or
// whose lines end in LF alone (so that it gives no songs), ends it with 1 and the reason on
// standard error.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "core/Dialogs.h"
#include "core/FileHelpers.h"
#include "core/PathBytes.h"
#include "playlist/M3u.h"
#include "playlist/PlaylistController.h"
#include "playlist/TagTitles.h"
#include "settings/MemorySettingsStore.h"

namespace kelvra::cli {
namespace {

// No one to ask on the command line: messages go to standard error, dialogs are cancelled.
class ConsoleDialogs final : public Dialogs {
  public:
    MessageResult message(const QString&, const QString& text, MessageButtons buttons,
                          MessageIcon) override {
        std::fprintf(stderr, "kelvra-cli: %s\n", qPrintable(text));
        return buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
    }
    QStringList openFiles(const FileDialogRequest&) override { return {}; }
    QString saveFile(const FileDialogRequest&) override { return {}; }
};

}  // namespace

int playlistCommand(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: kelvra-cli playlist FILE.m3u\n", stderr);
        return 2;
    }
    const QString path = pathFromBytes(QByteArray(args[0].c_str()));
    if (!path.endsWith(QStringLiteral(".m3u"), Qt::CaseInsensitive)) {
        std::fprintf(stderr, "kelvra-cli: '%s' is not an .m3u playlist\n", args[0].c_str());
        return 2;
    }
    // Tried with a real open: root passes every permission check, and a folder or a FIFO named
    // .m3u is no playlist.
    const QString problem = whyUnreadable(path);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "kelvra-cli: cannot read '%s': %s\n", args[0].c_str(),
                     problem.toLocal8Bit().constData());
        return 1;
    }

    // Titles arrive through the event loop, as in the window.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "kelvra-cli";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

    ConsoleDialogs dialogs;
    settings::MemorySettingsStore settings;
    auto titles = playlist::makeThreadedTitleService(playlist::tagTitleReaderFactory(),
                                                     playlist::defaultTitleThreads());
    playlist::PlaylistController controller(dialogs, settings, *titles,
                                            QCoreApplication::applicationDirPath());
    controller.Load_playlist(path);
    while (controller.titlesPending() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);

    for (int row = 0; row < controller.count(); ++row) {
        const QByteArray line = controller.displayLine(row).toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    // Read as the window reads it, so such a file gives no songs; saying why is the point.
    const std::optional<QByteArray> content = playlist::readWholeFile(path);
    if (controller.count() == 0 && content && playlist::endsLinesInLfAlone(*content)) {
        std::fprintf(stderr, "kelvra-cli: %s\n",
                     playlist::lfAloneHint(QString::fromLocal8Bit(args[0].c_str()))
                         .toLocal8Bit()
                         .constData());
        return 1;
    }
    return 0;
}

}  // namespace kelvra::cli
