// Paths that are not UTF-8 survive the trip through a QString byte for byte.
#include "core/PathBytes.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "core/FileHelpers.h"

namespace kelvra {
namespace {

TEST(PathBytes, EveryByteSequenceRoundTrips) {
    const QByteArray cases[] = {
        "/music/plain.mp3",
        "/music/caf\xc3\xa9.mp3",             // UTF-8
        "/music/caf\xe9.mp3",                 // Latin-1
        "/m/\xff\xfe\x80.mp3",                // bytes that start no sequence
        "/m/\xc3.mp3",                        // a cut sequence
        "/m/\xe0\x80\xaf.mp3",                // an overlong slash
        "/m/\xed\xa0\x80.mp3",                // an encoded surrogate
        "/m/\xf0\x9f\x8e\xb5 song \xe9.mp3",  // four-byte UTF-8 beside a stray byte
        // Found by fuzzing: a pair whose low half looks like an escaped byte, then a stray byte.
        "/m/\xf2\xb9\x92\xb6\xb6.mp3",
        // Found by fuzzing: a byte order mark right after a stray byte, and one leading a path.
        "/m/\xff\xef\xbb\xbf.mp3", "\xef\xbb\xbf/m/a.mp3"};
    for (const QByteArray& bytes : cases)
        EXPECT_EQ(pathToBytes(pathFromBytes(bytes)), bytes) << bytes.toHex().constData();
    // Valid UTF-8 reads as plain text, and a stray byte shows as its Latin-1 letter.
    EXPECT_EQ(pathFromBytes("/music/caf\xc3\xa9.mp3"), QString::fromUtf8("/music/caf\xc3\xa9.mp3"));
    EXPECT_EQ(readablePath(pathFromBytes("/music/caf\xe9.mp3")),
              QString::fromUtf8("/music/caf\xc3\xa9.mp3"));
    EXPECT_EQ(pathToBytes(QString::fromUtf8("/m/\xc3\xa9")), "/m/\xc3\xa9");
}

TEST(PathBytes, ALatin1NamedFileIsFoundAndOpened) {
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.path()) + "/caf\xe9.mp3";
    std::ofstream(name.toStdString()) << "x";
    const QString path = pathFromBytes(name);
    EXPECT_TRUE(fileExists(path));
    EXPECT_TRUE(isRegularFile(path));
    QFile file(path);
    EXPECT_TRUE(openRegularFile(file));
}

}  // namespace
}  // namespace kelvra
