#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "settings/FileAssociations.h"
#include "settings/MemorySettingsStore.h"
#include "support/FileBytes.h"

using namespace kelvra;
using namespace kelvra::settings;

namespace {

using test::contents;
using test::writeFile;

const QString kProgram = QStringLiteral("/opt/kelvra/bin/kelvra");
const QString kDefault;

// The window's logic over a store in memory and a desktop in temporary XDG folders.
struct Associations {
    explicit Associations(DesktopFiles* files = nullptr)
        : desktop(dir.filePath("data"), dir.filePath("config"), kProgram, files),
          logic(controls, store, &desktop, kProgram, optStartUp, {[this] { ++closes; }, {}}) {}

    void check(std::initializer_list<int> values) {
        auto boxes = controls.types();
        std::size_t i = 0;
        for (int value : values)
            boxes[i++]->setValue(value);
    }
    std::vector<int> boxes() {
        std::vector<int> out;
        for (CheckModel* box : controls.types())
            out.push_back(box->value());
        return out;
    }

    QTemporaryDir dir;
    MemorySettingsStore store;
    XdgDesktopAssociations desktop;
    AssociateControls controls;
    std::int16_t optStartUp = 1;
    FileAssociations logic;
    int closes = 0;
};

// Runs a desktop tool with the test's own XDG folders; its output, or nothing when it is missing.
QString runTool(const Associations& a, const QString& tool, const QStringList& args, int* code) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) return QString();
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", a.dir.filePath("data"));
    env.insert("XDG_CONFIG_HOME", a.dir.filePath("config"));
    env.insert("XDG_DATA_DIRS", a.dir.filePath("none"));
    env.insert("HOME", a.dir.path());
    env.remove("XDG_CURRENT_DESKTOP");
    process.setProcessEnvironment(env);
    process.start(program, args);
    process.waitForFinished(20000);
    *code = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// The real files, except that one path exists but refuses to be read, as a mode-0200 file does
// for anyone but root.
class UnreadableFile final : public LocalDesktopFiles {
  public:
    Contents read(const QString& path) override {
        if (path != unreadable) return LocalDesktopFiles::read(path);
        return {Status::Unreadable, {}, QStringLiteral("Permission denied")};
    }
    QString unreadable;
};

}  // namespace

TEST(FileAssociations, DesktopToolsAgreeWithTheWrittenFiles) {
    Associations a;
    a.check({1, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    int code = -1;
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    const QString problems =
        runTool(a, "desktop-file-validate", {a.desktop.desktopEntryPath()}, &code);
    EXPECT_EQ(code, 0) << problems.toStdString();
    EXPECT_TRUE(problems.trimmed().isEmpty()) << problems.toStdString();

    if (QStandardPaths::findExecutable("xdg-mime").isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed";
    EXPECT_EQ(runTool(a, "xdg-mime", {"query", "default", "audio/mpeg"}, &code).trimmed(),
              "kelvra.desktop");
    a.check({0, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    EXPECT_NE(runTool(a, "xdg-mime", {"query", "default", "audio/mpeg"}, &code).trimmed(),
              "kelvra.desktop");
    EXPECT_EQ(runTool(a, "xdg-mime", {"query", "default", "audio/x-mpegurl"}, &code).trimmed(),
              "kelvra.desktop");
}

TEST(FileAssociations, StartUpOfferDependsOnHowManyTypesAreAssociated) {
    Associations a;
    a.logic.load();
    EXPECT_EQ(a.logic.associatedCount(), 0);
    EXPECT_TRUE(a.logic.showAtStartUp());

    a.check({1, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    a.logic.load();
    EXPECT_EQ(a.logic.associatedCount(), 1);
    EXPECT_TRUE(a.logic.showAtStartUp());

    a.check({1, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    a.logic.load();
    EXPECT_EQ(a.logic.associatedCount(), 5);
    EXPECT_FALSE(a.logic.showAtStartUp());
    EXPECT_EQ(a.boxes(), (std::vector<int>{1, 1, 1, 1, 1}));

    // Nothing is offered when the user said so, however few types are associated.
    a.optStartUp = 0;
    a.logic.load();
    a.check({0, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    a.logic.load();
    EXPECT_FALSE(a.logic.showAtStartUp());
}

TEST(FileAssociations, OnlyWavCheckedWritesWavAndRemovesTheOtherFour) {
    Associations a;
    a.check({1, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    a.check({0, 0, 0, 1, 0});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(a.closes, 2);

    const Hive root = Hive::ClassesRoot;
    EXPECT_EQ(a.store.readSetting(root, ".wav\\", kDefault), "Kelvra.Sound.File");
    EXPECT_EQ(a.store.readSetting(root, "Kelvra.Sound.File", kDefault), "Kelvra Sound File");
    const QString command = kProgram + " %1";
    EXPECT_EQ(a.store.readSetting(root, "Kelvra.Sound.File\\shell\\open\\command", kDefault),
              command);
    EXPECT_EQ(a.store.readSetting(root, "Kelvra.Sound.File\\shell\\Play\\command", kDefault),
              command);
    EXPECT_EQ(a.store.readSetting(root, "Kelvra.Sound.File\\DefaultIcon", kDefault), kProgram);
    for (const char* key : {".mp3\\", ".wma\\", ".asf\\", ".m3u\\"})
        EXPECT_EQ(a.store.readSetting(root, key, kDefault), kAbsentMarker) << key;
    EXPECT_EQ(a.store.readSetting(root, "Kelvra.Music.File", kDefault), kAbsentMarker);

    EXPECT_TRUE(a.desktop.isDefault("audio/x-wav"));
    EXPECT_TRUE(a.desktop.isDefault("audio/vnd.wave"));
    for (const char* mime : {"audio/mpeg", "audio/x-ms-wma", "video/x-ms-asf", "audio/x-mpegurl"})
        EXPECT_FALSE(a.desktop.isDefault(mime)) << mime;
    a.logic.load();
    EXPECT_EQ(a.boxes(), (std::vector<int>{0, 0, 0, 1, 0}));
}

TEST(FileAssociations, MP3AndWmaShareTheirClassWhileEitherIsAssociated) {
    Associations a;
    a.check({1, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(a.store.readSetting(Hive::ClassesRoot, "Kelvra.Music.File", kDefault),
              "Kelvra Music File");
    a.logic.load();
    EXPECT_EQ(a.boxes(), (std::vector<int>{1, 0, 0, 0, 0}));
}

TEST(FileAssociations, AnotherProgramsClassOrDefaultCountsAsNotAssociated) {
    Associations a;
    a.store.writeSetting(Hive::ClassesRoot, ".mp3\\", kDefault, "OtherPlayer.mp3");
    a.store.writeSetting(Hive::ClassesRoot, ".wma\\", kDefault, "kelvra.music.file");
    a.logic.load();
    EXPECT_EQ(a.boxes(), (std::vector<int>{0, 0, 0, 0, 0}));

    // The store names Kelvra but the desktop opens MP3 with another program: not associated.
    a.check({1, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    QByteArray list = contents(a.desktop.mimeAppsPath());
    list.replace("audio/mpeg=kelvra.desktop;", "audio/mpeg=other.desktop;");
    writeFile(a.desktop.mimeAppsPath(), list);
    a.logic.load();
    EXPECT_EQ(a.logic.associatedCount(), 0);
}

TEST(FileAssociations, StartUpLabelToggles) {
    Associations a;
    a.logic.load();
    EXPECT_EQ(a.controls.chkStartupShow.value(), 1);
    a.controls.lblStartup.click();
    EXPECT_EQ(a.controls.chkStartupShow.value(), 0);
    EXPECT_EQ(a.optStartUp, 0);
    a.controls.lblStartup.click();
    EXPECT_EQ(a.controls.chkStartupShow.value(), 1);
    EXPECT_EQ(a.optStartUp, 1);

    // Closing without Update changes no association but keeps the box's value.
    a.controls.chkStartupShow.click();
    a.logic.cancel();
    EXPECT_EQ(a.optStartUp, 0);
    EXPECT_EQ(a.closes, 1);
    EXPECT_EQ(a.store.writeCount(), 0);
}

TEST(FileAssociations, MimeAppsKeepsOtherProgramsLinesAndCommentsByteForByte) {
    Associations a;
    QDir().mkpath(a.dir.filePath("config"));
    const QByteArray original =
        "# my own notes\n"
        "[Default Applications]\n"
        "text/plain=editor.desktop;\n"
        "audio/mpeg=other-player.desktop;\n"
        "audio/x-wav=kelvra.desktop;other-player.desktop;\n"
        "\n"
        "[Added Associations]\n"
        "audio/mpeg=other-player.desktop;kelvra.desktop;\n";
    writeFile(a.desktop.mimeAppsPath(), original);

    a.check({1, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    const QByteArray after = contents(a.desktop.mimeAppsPath());
    EXPECT_EQ(after,
              "# my own notes\n"
              "[Default Applications]\n"
              "text/plain=editor.desktop;\n"
              "audio/mpeg=kelvra.desktop;other-player.desktop;\n"
              "audio/x-wav=other-player.desktop;\n"
              "\n"
              "[Added Associations]\n"
              "audio/mpeg=other-player.desktop;kelvra.desktop;\n");
    EXPECT_TRUE(a.desktop.isDefault("audio/mpeg"));

    // Unchecking gives the type back to the program that had it; nothing else moves.
    a.check({0, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(contents(a.desktop.mimeAppsPath()),
              "# my own notes\n"
              "[Default Applications]\n"
              "text/plain=editor.desktop;\n"
              "audio/mpeg=other-player.desktop;\n"
              "audio/x-wav=other-player.desktop;\n"
              "\n"
              "[Added Associations]\n"
              "audio/mpeg=other-player.desktop;kelvra.desktop;\n");
    EXPECT_FALSE(a.desktop.isDefault("audio/mpeg"));

    // The desktop entry names the program with %f (it opens one file), and lists the associated
    // types only.
    QString entry = QString::fromUtf8(contents(a.desktop.desktopEntryPath()));
    EXPECT_TRUE(entry.contains("Exec=" + kProgram + " %f\n"));
    EXPECT_FALSE(entry.contains("MimeType="));
    a.check({1, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    entry = QString::fromUtf8(contents(a.desktop.desktopEntryPath()));
    EXPECT_TRUE(
        entry.contains("MimeType=audio/mpeg;audio/x-ms-wma;video/x-ms-asf;audio/x-wav;"
                       "audio/vnd.wave;audio/x-mpegurl;\n"));
    // No temporary file is left in the folder.
    EXPECT_EQ(QDir(a.dir.filePath("config")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"mimeapps.list"});
}

TEST(FileAssociations, NewMimeAppsGetsItsOwnSection) {
    const QByteArray made = XdgDesktopAssociations::editedMimeApps(
        "[Added Associations]\nx/y=a.desktop;\n", {"audio/mpeg"}, {});
    EXPECT_EQ(made,
              "[Added Associations]\nx/y=a.desktop;\n\n[Default Applications]\n"
              "audio/mpeg=kelvra.desktop;\n");
    EXPECT_EQ(XdgDesktopAssociations::editedMimeApps("", {"audio/mpeg"}, {}),
              "[Default Applications]\naudio/mpeg=kelvra.desktop;\n");
    EXPECT_TRUE(XdgDesktopAssociations::desktopEntryText("/My Apps/kelvra", {})
                    .contains("Exec=\"/My Apps/kelvra\" %f"));
}

TEST(FileAssociations, AFileThatCannotBeReadIsNeverReplaced) {
    UnreadableFile files;
    Associations a(&files);
    QDir().mkpath(a.dir.filePath("config"));
    const QByteArray original =
        "[Default Applications]\ntext/plain=editor.desktop;\naudio/mpeg=other.desktop;\n";
    writeFile(a.desktop.mimeAppsPath(), original);
    files.unreadable = a.desktop.mimeAppsPath();
    QStringList messages;
    QObject::connect(&a.logic, &FileAssociations::notSaved,
                     [&](const QString& message) { messages << message; });

    a.check({1, 1, 1, 1, 1});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(contents(a.desktop.mimeAppsPath()), original);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(a.desktop.mimeAppsPath())) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("Permission denied")) << messages[0].toStdString();
    // Nothing of the desktop's side was written, not even Kelvra's own entry.
    EXPECT_FALSE(QFile::exists(a.desktop.desktopEntryPath()));
    EXPECT_EQ(a.closes, 1);

    // The same for an unreadable desktop entry, and for a removal.
    files.unreadable = a.desktop.desktopEntryPath();
    QDir().mkpath(QFileInfo(a.desktop.desktopEntryPath()).path());
    writeFile(a.desktop.desktopEntryPath(), "[Desktop Entry]\n");
    a.check({0, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(contents(a.desktop.mimeAppsPath()), original);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(a.desktop.desktopEntryPath())) << messages[1].toStdString();

    // Once readable again, the save goes through and says nothing.
    files.unreadable.clear();
    a.check({1, 0, 0, 0, 0});
    a.controls.cmdAssociate.click();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(a.logic.failureText().isEmpty());
    EXPECT_TRUE(a.desktop.isDefault("audio/mpeg"));
}

TEST(FileAssociations, EditedLinesKeepTheirEndingsAndNoOtherLineIsLost) {
    // CR LF lines, a stray control byte on a line of its own, a last line without an ending.
    const QByteArray original =
        "[Default Applications]\r\n"
        "text/plain=editor.desktop;\r\n"
        "\x01\r\n"
        "audio/mpeg=other.desktop;\r\n"
        "\x01";
    const QByteArray added =
        XdgDesktopAssociations::editedMimeApps(original, {"audio/mpeg", "audio/x-wav"}, {});
    EXPECT_EQ(added,
              "[Default Applications]\r\n"
              "text/plain=editor.desktop;\r\n"
              "\x01\r\n"
              "audio/mpeg=kelvra.desktop;other.desktop;\r\n"
              "\x01\r\n"
              "audio/x-wav=kelvra.desktop;\r\n");
    // Removing drops Kelvra's own line and gives MP3 back; the odd lines stay.
    EXPECT_EQ(XdgDesktopAssociations::editedMimeApps(added, {}, {"audio/mpeg", "audio/x-wav"}),
              "[Default Applications]\r\n"
              "text/plain=editor.desktop;\r\n"
              "\x01\r\n"
              "audio/mpeg=other.desktop;\r\n"
              "\x01\r\n");
    // Mixed endings: each line keeps its own.
    EXPECT_EQ(XdgDesktopAssociations::editedMimeApps(
                  "[Default Applications]\naudio/mpeg=a.desktop;\r\nx/y=b.desktop;\n",
                  {"audio/mpeg"}, {}),
              "[Default Applications]\naudio/mpeg=kelvra.desktop;a.desktop;\r\n"
              "x/y=b.desktop;\n");
    // A new section in a CR LF file is CR LF too.
    EXPECT_EQ(XdgDesktopAssociations::editedMimeApps("[Added Associations]\r\nx/y=a.desktop;",
                                                     {"audio/mpeg"}, {}),
              "[Added Associations]\r\nx/y=a.desktop;\r\n\r\n[Default Applications]\r\n"
              "audio/mpeg=kelvra.desktop;\r\n");
}
