// The desktop's side of the file associations on a freedesktop.org desktop: Kelvra's desktop
// entry `kelvra.desktop` in the user's applications folder, and Kelvra as the default handler
// of MIME types in the user's `mimeapps.list`. Only Kelvra's own entries are ever added or
// removed; every other line of `mimeapps.list` (other programs' defaults, comments, blank
// lines) is kept byte for byte, and each file is replaced whole through a temporary file and a
// rename, so a crash never leaves half a file. A file that exists but cannot be read is never
// replaced: its other entries would be lost. Thread: UI thread only (blocking file I/O).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelvra::settings {

// How the desktop's files are read and replaced; tests stand in for a file system that refuses
// what the real one (run as root) would allow.
class DesktopFiles {
  public:
    enum class Status { Read, Missing, Unreadable };
    struct Contents {
        Status status = Status::Missing;
        QByteArray bytes;
        QString error;  // why an existing file could not be read
    };
    virtual ~DesktopFiles() = default;
    virtual Contents read(const QString& path) = 0;
    // Replaces the file whole (a temporary file in its folder, renamed over it); false with
    // `error` set when it cannot.
    virtual bool replace(const QString& path, const QByteArray& bytes, QString& error) = 0;
};

// The real files.
class LocalDesktopFiles : public DesktopFiles {
  public:
    Contents read(const QString& path) override;
    bool replace(const QString& path, const QByteArray& bytes, QString& error) override;
};

inline const QString kDesktopEntryName = QStringLiteral("kelvra.desktop");

// The MIME types Kelvra handles, in desktop-entry order.
QStringList kelvraMimeTypes();

class DesktopAssociations {
  public:
    virtual ~DesktopAssociations() = default;
    // Whether the desktop opens `mimeType` with Kelvra.
    virtual bool isDefault(const QString& mimeType) = 0;
    // Makes Kelvra the default of `add` and stops it being the default of `remove`; writes the
    // desktop entry first. False, with nothing half-written, when a file cannot be saved.
    virtual bool update(const QStringList& add, const QStringList& remove) = 0;
    // Why the last update failed, naming the file; empty after a successful one.
    virtual QString failureText() const { return {}; }
};

class XdgDesktopAssociations final : public DesktopAssociations {
  public:
    // `dataHome` and `configHome` are $XDG_DATA_HOME and $XDG_CONFIG_HOME; `program` the
    // executable the desktop entry starts; `files` the file access (the real files when null).
    XdgDesktopAssociations(QString dataHome, QString configHome, QString program,
                           DesktopFiles* files = nullptr);
    // The user's own folders from the environment (with the usual fall-backs under $HOME).
    static XdgDesktopAssociations forUser(const QString& program);

    bool isDefault(const QString& mimeType) override;
    bool update(const QStringList& add, const QStringList& remove) override;
    QString failureText() const override { return failure_; }

    QString desktopEntryPath() const;
    QString mimeAppsPath() const;
    // The desktop entry's text for `program`, offering to open `mimeTypes`. The user's entry
    // lists only the types Kelvra is associated with: desktops fall back to any entry that
    // lists a type, so listing an unchecked one would keep Kelvra its handler.
    static QString desktopEntryText(const QString& program, const QStringList& mimeTypes);
    // The types the user's desktop entry lists now.
    QStringList listedMimeTypes() const;
    // `mimeapps.list` text with Kelvra made the default of `add` and removed from `remove`.
    static QByteArray editedMimeApps(const QByteArray& original, const QStringList& add,
                                     const QStringList& remove);

  private:
    QString dataHome_;
    QString configHome_;
    QString program_;
    DesktopFiles* files_;
    QString failure_;
};

}  // namespace kelvra::settings
