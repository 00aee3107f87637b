#include "settings/FileAssociations.h"

#include <QFileInfo>

namespace kelvra::settings {

namespace {

constexpr Hive kClasses = Hive::ClassesRoot;
const QString kDefaultValue;  // the key's own (unnamed) value

}  // namespace

const std::array<FileType, 5>& fileTypes() {
    static const std::array<FileType, 5> types = {{
        {QStringLiteral(".mp3\\"),
         QStringLiteral("Kelvra.Music.File"),
         QStringLiteral("Kelvra Music File"),
         {QStringLiteral("audio/mpeg")}},
        {QStringLiteral(".wma\\"),
         QStringLiteral("Kelvra.Music.File"),
         QStringLiteral("Kelvra Music File"),
         {QStringLiteral("audio/x-ms-wma")}},
        {QStringLiteral(".asf\\"),
         QStringLiteral("Kelvra.DJ.Mix"),
         QStringLiteral("Kelvra DJ Mix"),
         {QStringLiteral("video/x-ms-asf")}},
        {QStringLiteral(".wav\\"),
         QStringLiteral("Kelvra.Sound.File"),
         QStringLiteral("Kelvra Sound File"),
         {QStringLiteral("audio/x-wav"), QStringLiteral("audio/vnd.wave")}},
        {QStringLiteral(".m3u\\"),
         QStringLiteral("Kelvra.Music.Playlist"),
         QStringLiteral("Kelvra Music Playlist"),
         {QStringLiteral("audio/x-mpegurl")}},
    }};
    return types;
}

FileAssociations::FileAssociations(AssociateControls& controls, SettingsStore& store,
                                   DesktopAssociations* desktop, QString program,
                                   std::int16_t& optStartUp, Hooks hooks)
    : controls_(controls),
      store_(store),
      desktop_(desktop),
      program_(std::move(program)),
      optStartUp_(optStartUp),
      hooks_(std::move(hooks)) {
    connect(&controls_.cmdAssociate, &ButtonModel::clicked, this,
            &FileAssociations::cmdAssociate_Click);
    connect(&controls_.lblStartup, &ButtonModel::clicked, this,
            &FileAssociations::lblStartup_Click);
    connect(&controls_.chkStartupShow, &CheckModel::clicked, this,
            [this] { optStartUp_ = static_cast<std::int16_t>(controls_.chkStartupShow.value()); });
}

void FileAssociations::load() {
    read_reg_values();
    controls_.chkStartupShow.setValue(optStartUp_);
}

bool FileAssociations::desktopAgrees(const FileType& type) {
    if (!desktop_) return true;
    for (const QString& mime : type.mimeTypes)
        if (!desktop_->isDefault(mime)) return false;
    return true;
}

void FileAssociations::read_reg_values() {
    associatedCount_ = 0;
    const auto boxes = controls_.types();
    for (std::size_t i = 0; i < fileTypes().size(); ++i) {
        const FileType& type = fileTypes()[i];
        // Case matters: another program's "kelvra.music.file" is not ours.
        const bool ours =
            store_.readSetting(kClasses, type.extensionKey, kDefaultValue) == type.classKey &&
            desktopAgrees(type);
        boxes[i]->setValue(ours ? 1 : 0);
        if (ours) ++associatedCount_;
    }
}

bool FileAssociations::Associate_Files(const TypeFlags& flags) {
    const QString command = program_ + QStringLiteral(" %1");
    QStringList mimes;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] != 1) continue;
        const FileType& type = fileTypes()[i];
        store_.writeSetting(kClasses, type.extensionKey, kDefaultValue, type.classKey);
        store_.writeSetting(kClasses, type.classKey, kDefaultValue, type.description);
        store_.writeSetting(kClasses, type.classKey + QStringLiteral("\\shell\\open\\command"),
                            kDefaultValue, command);
        store_.writeSetting(kClasses, type.classKey + QStringLiteral("\\shell\\Play\\command"),
                            kDefaultValue, command);
        store_.writeSetting(kClasses, type.classKey + QStringLiteral("\\DefaultIcon"),
                            kDefaultValue, program_);
        mimes << type.mimeTypes;
    }
    failure_.clear();
    if (!desktop_ || mimes.isEmpty() || desktop_->update(mimes, {})) return true;
    failure_ = desktop_->failureText();
    return false;
}

void FileAssociations::remove_Association(const TypeFlags& flags) {
    const QString executable = QFileInfo(program_).fileName();
    QStringList mimes;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] != 0) continue;
        const FileType& type = fileTypes()[i];
        store_.deleteKey(kClasses, type.extensionKey + QStringLiteral("OpenWithList\\") +
                                       executable + QStringLiteral("\\"));
        store_.deleteValue(kClasses, type.extensionKey, kDefaultValue);
        // MP3 and WMA share their class: it stays while the other of the two is associated.
        bool shared = false;
        for (std::size_t j = 0; j < flags.size(); ++j)
            shared |= j != i && flags[j] == 1 && fileTypes()[j].classKey == type.classKey;
        if (!shared) {
            for (const QString& sub :
                 {QStringLiteral("\\shell\\open\\command"),
                  QStringLiteral("\\shell\\Play\\command"), QStringLiteral("\\DefaultIcon")})
                store_.deleteKey(kClasses, type.classKey + sub);
            store_.deleteKey(kClasses, type.classKey);
        }
        mimes << type.mimeTypes;
    }
    // A failure of the writing half is kept: the same file would fail here again.
    if (desktop_ && !mimes.isEmpty() && !desktop_->update({}, mimes) && failure_.isEmpty())
        failure_ = desktop_->failureText();
}

TypeFlags FileAssociations::checkedFlags() {
    TypeFlags flags{};
    const auto boxes = controls_.types();
    for (std::size_t i = 0; i < flags.size(); ++i)
        flags[i] = static_cast<std::int16_t>(boxes[i]->value());
    return flags;
}

void FileAssociations::cmdAssociate_Click() {
    if (hooks_.busyPointer) hooks_.busyPointer(true);
    const TypeFlags flags = checkedFlags();
    failure_.clear();
    Associate_Files(flags);  // the removal goes on whatever it answers
    remove_Association(flags);
    if (hooks_.busyPointer) hooks_.busyPointer(false);
    if (!failure_.isEmpty()) emit notSaved(failure_);
    aboutToClose();
    if (hooks_.close) hooks_.close();
}

void FileAssociations::lblStartup_Click() {
    controls_.chkStartupShow.setValue(controls_.chkStartupShow.value() == 1 ? 0 : 1);
    optStartUp_ = static_cast<std::int16_t>(controls_.chkStartupShow.value());
}

void FileAssociations::cancel() {
    aboutToClose();
    if (hooks_.close) hooks_.close();
}

void FileAssociations::aboutToClose() {
    optStartUp_ = static_cast<std::int16_t>(controls_.chkStartupShow.value());
}

}  // namespace kelvra::settings
