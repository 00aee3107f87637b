// A playlist controller wired to test doubles: scripted dialogs, an in-memory settings store, a
// virtual clock and titles from a map (a file's base name when the map has none).
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <memory>
#include <random>

#include "core/VirtualClock.h"
#include "playlist/PlaylistController.h"
#include "settings/MemorySettingsStore.h"
#include "settings/SettingsKey.h"
#include "support/ScriptedDialogs.h"

namespace kelvra::playlist::test {

class PlaylistFixture : public ::testing::Test {
  protected:
    PlaylistFixture() {
        titleService_ = makeChunkedTitleService(
            clock_,
            [this](const QString& path) {
                ++tagReads_;
                const auto found = titles_.find(path);
                if (found != titles_.end()) return *found;
                return QFileInfo(path).completeBaseName();
            },
            25);
        playlist_ = std::make_unique<PlaylistController>(dialogs_, settings_, *titleService_,
                                                         QStringLiteral("/opt/kelvra"),
                                                         [this] { return nextUniform(); });
    }

    // Lets the title service read everything asked for so far.
    void settle() {
        for (int i = 0; i < 10000 && playlist_->titlesPending() > 0; ++i)
            clock_.advance(1);
        ASSERT_EQ(playlist_->titlesPending(), 0);
    }

    QStringList lines() const {
        QStringList result;
        for (int row = 0; row < playlist_->count(); ++row)
            result.push_back(playlist_->displayLine(row));
        return result;
    }

    QStringList paths() const {
        QStringList result;
        for (int row = 0; row < playlist_->count(); ++row)
            result.push_back(playlist_->path(row));
        return result;
    }

    // Writes a file into the temporary folder and returns its path.
    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // A playlist file of the given paths, CR LF after each.
    QString writeM3u(const QString& name, const QStringList& entries) {
        QByteArray content;
        for (const QString& entry : entries)
            content += entry.toUtf8() + "\r\n";
        return writeFile(name, content);
    }

    static QByteArray readFile(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll();
    }

    QString lastPlaylistSetting() {
        return settings_.readSetting(settings::Hive::LocalMachine, settings::kSettingsKey,
                                     kLastPlaylistValue);
    }

    double nextUniform() {
        ++uniformDraws_;
        if (!uniforms_.empty()) {
            const double u = uniforms_.front();
            uniforms_.erase(uniforms_.begin());
            return u;
        }
        return 0.0;
    }

    QTemporaryDir dir_;
    VirtualClock clock_;
    kelvra::test::ScriptedDialogs dialogs_;
    settings::MemorySettingsStore settings_;
    QMap<QString, QString> titles_;
    int tagReads_ = 0;
    std::vector<double> uniforms_;
    int uniformDraws_ = 0;
    std::unique_ptr<TitleService> titleService_;
    std::unique_ptr<PlaylistController> playlist_;
};

}  // namespace kelvra::playlist::test
