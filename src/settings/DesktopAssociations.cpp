#include "settings/DesktopAssociations.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace kelvra::settings {

namespace {

const QByteArray kDefaultsSection = "[Default Applications]";
const QByteArray kDropped("\x01");

bool saveWhole(const QString& path, const QByteArray& bytes) {
    if (!QDir().mkpath(QFileInfo(path).path())) return false;
    QSaveFile file(path);  // a temporary file in the same folder, renamed over the old one
    if (!file.open(QIODevice::WriteOnly)) return false;
    return file.write(bytes) == bytes.size() && file.commit();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

}  // namespace

QStringList kelvraMimeTypes() {
    return {QStringLiteral("audio/mpeg"),     QStringLiteral("audio/x-ms-wma"),
            QStringLiteral("video/x-ms-asf"), QStringLiteral("audio/x-wav"),
            QStringLiteral("audio/vnd.wave"), QStringLiteral("audio/x-mpegurl")};
}

XdgDesktopAssociations::XdgDesktopAssociations(QString dataHome, QString configHome,
                                               QString program)
    : dataHome_(std::move(dataHome)),
      configHome_(std::move(configHome)),
      program_(std::move(program)) {}

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
               "Exec=%1 %F\n"
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
    QList<QByteArray> lines = original.split('\n');
    // A final newline leaves an empty last piece; it is put back when joining.
    const bool endsWithNewline = original.isEmpty() || original.endsWith('\n');
    if (endsWithNewline) lines.removeLast();

    QList<QByteArray> pending;
    for (const QString& type : add)
        pending << type.toUtf8();
    int sectionEnd = -1;  // where missing defaults are inserted
    bool inDefaults = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (isSection(line)) {
            if (inDefaults) sectionEnd = i;
            inDefaults = trimmedLine(line) == kDefaultsSection;
            continue;
        }
        if (!inDefaults) continue;
        const int equals = line.indexOf('=');
        if (equals < 0 || trimmedLine(line).startsWith('#')) continue;
        const QByteArray type = line.left(equals).trimmed();
        QList<QByteArray> list = handlers(line.mid(equals + 1));
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
        // A line left without handlers is dropped (marked here, removed below).
        lines[i] = list.isEmpty() ? kDropped : type + '=' + list.join(';') + ';';
    }
    if (inDefaults) sectionEnd = static_cast<int>(lines.size());
    QList<QByteArray> added;
    for (const QByteArray& type : pending)
        added << type + '=' + entry + ';';
    if (!added.isEmpty()) {
        if (sectionEnd < 0) {
            if (!lines.isEmpty() && !trimmedLine(lines.last()).isEmpty()) lines << QByteArray();
            lines << kDefaultsSection;
            sectionEnd = static_cast<int>(lines.size());
        } else {
            // After the section's last non-blank line, so the blank line before the next
            // section stays where it was.
            while (sectionEnd > 0 && trimmedLine(lines[sectionEnd - 1]).isEmpty())
                --sectionEnd;
        }
        for (int k = 0; k < added.size(); ++k)
            lines.insert(sectionEnd + k, added[k]);
    }
    lines.removeAll(kDropped);
    QByteArray out = lines.join('\n');
    if (endsWithNewline && !lines.isEmpty()) out += '\n';
    return out;
}

bool XdgDesktopAssociations::isDefault(const QString& mimeType) {
    const QByteArray text = readAll(mimeAppsPath());
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
    for (const QByteArray& line : readAll(desktopEntryPath()).split('\n')) {
        if (!line.startsWith("MimeType=")) continue;
        QStringList types;
        for (const QByteArray& type : handlers(line.mid(9)))
            types << QString::fromUtf8(type);
        return types;
    }
    return {};
}

bool XdgDesktopAssociations::update(const QStringList& add, const QStringList& remove) {
    // The entry keeps the table's order of types whatever order they were checked in.
    const QStringList listed = listedMimeTypes();
    QStringList types;
    for (const QString& type : kelvraMimeTypes())
        if ((listed.contains(type) || add.contains(type)) && !remove.contains(type)) types << type;
    const bool entryExists = QFile::exists(desktopEntryPath());
    if ((entryExists || !add.isEmpty()) && (types != listed || !entryExists) &&
        !saveWhole(desktopEntryPath(), desktopEntryText(program_, types).toUtf8()))
        return false;
    const QByteArray original = readAll(mimeAppsPath());
    const QByteArray edited = editedMimeApps(original, add, remove);
    if (edited == original) return true;
    return saveWhole(mimeAppsPath(), edited);
}

}  // namespace kelvra::settings
