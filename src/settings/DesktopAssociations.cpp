#include "settings/DesktopAssociations.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace kelvra::settings {

namespace {

const QByteArray kDefaultsSection = "[Default Applications]";

LocalDesktopFiles& localFiles() {
    static LocalDesktopFiles files;
    return files;
}

QByteArray trimmedLine(const QByteArray& line) {
    return line.trimmed();
}

bool isSection(const QByteArray& line) {
    const QByteArray text = trimmedLine(line);
    return text.startsWith('[') && text.endsWith(']');
}

// The handlers of a "type=a.desktop;b.desktop;" line.
QList<QByteArray> handlers(const QByteArray& value) {
    QList<QByteArray> list;
    for (const QByteArray& part : value.split(';'))
        if (!part.trimmed().isEmpty()) list << part.trimmed();
    return list;
}

QString unreadableText(const QString& path, const QString& reason) {
    return QStringLiteral(
               "Cannot read %1 (%2). It was left as it was, and the desktop's file associations "
               "were not changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString notSavedText(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot save %1 (%2). The desktop's file associations were not changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

DesktopFiles::Contents LocalDesktopFiles::read(const QString& path) {
    Contents contents;
    QFile file(path);
    if (!file.exists()) return contents;
    if (!file.open(QIODevice::ReadOnly)) {
        contents.status = Status::Unreadable;
        contents.error = file.errorString();
        return contents;
    }
    contents.bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.status = Status::Unreadable;
        contents.error = file.errorString();
        return contents;
    }
    contents.status = Status::Read;
    return contents;
}

bool LocalDesktopFiles::replace(const QString& path, const QByteArray& bytes, QString& error) {
    if (!QDir().mkpath(QFileInfo(path).path())) {
        error = QStringLiteral("its folder cannot be made");
        return false;
    }
    QSaveFile file(path);  // a temporary file in the same folder, renamed over the old one
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    error = file.errorString();
    return false;
}

QStringList kelvraMimeTypes() {
    return {QStringLiteral("audio/mpeg"),     QStringLiteral("audio/x-ms-wma"),
            QStringLiteral("video/x-ms-asf"), QStringLiteral("audio/x-wav"),
            QStringLiteral("audio/vnd.wave"), QStringLiteral("audio/x-mpegurl")};
}

XdgDesktopAssociations::XdgDesktopAssociations(QString dataHome, QString configHome,
                                               QString program, DesktopFiles* files)
    : dataHome_(std::move(dataHome)),
      configHome_(std::move(configHome)),
      program_(std::move(program)),
      files_(files ? files : &localFiles()) {}

XdgDesktopAssociations XdgDesktopAssociations::forUser(const QString& program) {
    const QString home = QDir::homePath();
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (data.isEmpty()) data = home + QStringLiteral("/.local/share");
    if (config.isEmpty()) config = home + QStringLiteral("/.config");
    return XdgDesktopAssociations(data, config, program);
}

QString XdgDesktopAssociations::desktopEntryPath() const {
    return dataHome_ + QStringLiteral("/applications/") + kDesktopEntryName;
}

QString XdgDesktopAssociations::mimeAppsPath() const {
    return configHome_ + QStringLiteral("/mimeapps.list");
}

QString XdgDesktopAssociations::desktopEntryText(const QString& program,
                                                 const QStringList& mimeTypes) {
    // A program path with spaces is quoted, so the launcher takes it as one word.
    const QString exec = program.contains(u' ') ? u'"' + program + u'"' : program;
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Kelvra\n"
               "GenericName=DJ Mixer\n"
               "Comment=Mix songs live on two decks\n"
               "Exec=%1 %f\n"
               "Icon=kelvra\n"
               "Terminal=false\n"
               "%2"
               "Categories=AudioVideo;Audio;Player;\n")
        .arg(exec, mimeTypes.isEmpty() ? QString()
                                       : QStringLiteral("MimeType=") + mimeTypes.join(u';') +
                                             QStringLiteral(";\n"));
}

QByteArray XdgDesktopAssociations::editedMimeApps(const QByteArray& original,
                                                  const QStringList& add,
                                                  const QStringList& remove) {
    const QByteArray entry = kDesktopEntryName.toUtf8();
    // Each line keeps its own ending, so a line Kelvra edits in a CR LF file stays CR LF.
    struct Line {
        QByteArray text;
        QByteArray ending;
        bool dropped = false;
    };
    QList<Line> lines;
    for (qsizetype at = 0; at < original.size();) {
        const qsizetype newline = original.indexOf('\n', at);
        const qsizetype end = newline < 0 ? original.size() : newline;
        Line line{original.mid(at, end - at), newline < 0 ? QByteArray() : QByteArray("\n")};
        if (newline >= 0 && line.text.endsWith('\r')) {
            line.text.chop(1);
            line.ending = "\r\n";
        }
        lines << line;
        at = end + 1;
    }
    // Lines Kelvra adds take the file's first line ending, and each ends with it.
    const QByteArray newEnding =
        !lines.isEmpty() && lines.first().ending == "\r\n" ? QByteArray("\r\n") : QByteArray("\n");

    QList<QByteArray> pending;
    for (const QString& type : add)
        pending << type.toUtf8();
    int sectionEnd = -1;  // where missing defaults are inserted
    bool inDefaults = false;
    for (int i = 0; i < lines.size(); ++i) {
        Line& line = lines[i];
        if (isSection(line.text)) {
            if (inDefaults) sectionEnd = i;
            inDefaults = trimmedLine(line.text) == kDefaultsSection;
            continue;
        }
        if (!inDefaults) continue;
        const int equals = static_cast<int>(line.text.indexOf('='));
        if (equals < 0 || trimmedLine(line.text).startsWith('#')) continue;
        const QByteArray type = line.text.left(equals).trimmed();
        QList<QByteArray> list = handlers(line.text.mid(equals + 1));
        if (pending.contains(type)) {
            pending.removeAll(type);
            if (!list.isEmpty() && list.first() == entry) continue;  // already ours: untouched
            list.removeAll(entry);
            list.prepend(entry);
        } else if (remove.contains(QString::fromUtf8(type)) && list.contains(entry)) {
            list.removeAll(entry);
        } else {
            continue;
        }
        // A line left without handlers is dropped.
        line.dropped = list.isEmpty();
        line.text = type + '=' + list.join(';') + ';';
    }
    if (inDefaults) sectionEnd = static_cast<int>(lines.size());
    QList<Line> added;
    for (const QByteArray& type : pending)
        added << Line{type + '=' + entry + ';', newEnding};
    if (!added.isEmpty()) {
        if (sectionEnd < 0) {
            if (!lines.isEmpty() && lines.last().ending.isEmpty()) lines.last().ending = newEnding;
            if (!lines.isEmpty() && !trimmedLine(lines.last().text).isEmpty())
                lines << Line{QByteArray(), newEnding};
            lines << Line{kDefaultsSection, newEnding};
            sectionEnd = static_cast<int>(lines.size());
        } else {
            // After the section's last non-blank line, so the blank line before the next
            // section stays where it was.
            while (sectionEnd > 0 && (lines[sectionEnd - 1].dropped ||
                                      trimmedLine(lines[sectionEnd - 1].text).isEmpty()))
                --sectionEnd;
            if (lines[sectionEnd - 1].ending.isEmpty()) lines[sectionEnd - 1].ending = newEnding;
        }
        for (int k = 0; k < added.size(); ++k)
            lines.insert(sectionEnd + k, added[k]);
    }
    QByteArray out;
    for (const Line& line : lines)
        if (!line.dropped) out += line.text + line.ending;
    return out;
}

bool XdgDesktopAssociations::isDefault(const QString& mimeType) {
    const QByteArray text = files_->read(mimeAppsPath()).bytes;
    bool inDefaults = false;
    for (const QByteArray& line : text.split('\n')) {
        if (isSection(line)) {
            inDefaults = trimmedLine(line) == kDefaultsSection;
            continue;
        }
        const int equals = line.indexOf('=');
        if (!inDefaults || equals < 0 || line.left(equals).trimmed() != mimeType.toUtf8()) continue;
        const QList<QByteArray> list = handlers(line.mid(equals + 1));
        return !list.isEmpty() && list.first() == kDesktopEntryName.toUtf8() &&
               QFile::exists(desktopEntryPath());
    }
    return false;
}

QStringList XdgDesktopAssociations::listedMimeTypes() const {
    for (const QByteArray& line : files_->read(desktopEntryPath()).bytes.split('\n')) {
        if (!line.startsWith("MimeType=")) continue;
        QStringList types;
        for (const QByteArray& type : handlers(line.mid(9)))
            types << QString::fromUtf8(type);
        return types;
    }
    return {};
}

bool XdgDesktopAssociations::update(const QStringList& add, const QStringList& remove) {
    failure_.clear();
    // Both files are read before either is written: one that exists but cannot be read would
    // otherwise be replaced by Kelvra's lines alone, losing every other program's defaults.
    const DesktopFiles::Contents entry = files_->read(desktopEntryPath());
    const DesktopFiles::Contents mimeApps = files_->read(mimeAppsPath());
    if (entry.status == DesktopFiles::Status::Unreadable) {
        failure_ = unreadableText(desktopEntryPath(), entry.error);
        return false;
    }
    if (mimeApps.status == DesktopFiles::Status::Unreadable) {
        failure_ = unreadableText(mimeAppsPath(), mimeApps.error);
        return false;
    }
    // The entry keeps the table's order of types whatever order they were checked in.
    const QStringList listed = listedMimeTypes();
    QStringList types;
    for (const QString& type : kelvraMimeTypes())
        if ((listed.contains(type) || add.contains(type)) && !remove.contains(type)) types << type;
    const bool entryExists = entry.status == DesktopFiles::Status::Read;
    QString error;
    if ((entryExists || !add.isEmpty()) && (types != listed || !entryExists) &&
        !files_->replace(desktopEntryPath(), desktopEntryText(program_, types).toUtf8(), error)) {
        failure_ = notSavedText(desktopEntryPath(), error);
        return false;
    }
    const QByteArray edited = editedMimeApps(mimeApps.bytes, add, remove);
    if (edited == mimeApps.bytes) return true;
    if (!files_->replace(mimeAppsPath(), edited, error)) {
        failure_ = notSavedText(mimeAppsPath(), error);
        return false;
    }
    return true;
}

}  // namespace kelvra::settings
