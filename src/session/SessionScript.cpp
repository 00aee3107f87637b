#include "session/SessionScript.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace kelvra::session {
namespace {

// A day of program time is far more than any set; it also keeps the millisecond count exact.
constexpr double kMaxSeconds = 86400.0 * 7;

std::optional<std::int64_t> parseTime(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > kMaxSeconds) return {};
    return std::int64_t(std::nearbyint(seconds * 1000));
}

std::optional<int> parseInt(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) return {};
    return value;
}

// A byte in hexadecimal, "90" or "0x90" as MIDI messages are written down.
std::optional<std::uint8_t> parseHexByte(QString text) {
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) text = text.mid(2);
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || text.size() > 2 || value > 0xFF) return {};
    return std::uint8_t(value);
}

// The rest of the line after the first `words` words, spaces inside kept (paths).
QString restAfter(const QString& line, int words) {
    int at = 0;
    for (int i = 0; i < words; ++i) {
        while (at < line.size() && line[at].isSpace())
            ++at;
        while (at < line.size() && !line[at].isSpace())
            ++at;
    }
    return line.mid(at).trimmed();
}

}  // namespace

SessionParse parseSessionScript(const QByteArray& text) {
    SessionParse result;
    const QList<QByteArray> lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        QString line = QString::fromUtf8(lines[n]);
        const qsizetype hash = line.indexOf(u'#');
        if (hash >= 0) line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty()) continue;
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        auto fail = [&](const QString& why) {
            result.errorLine = n + 1;
            result.error = why;
            result.actions.clear();
            return result;
        };
        SessionAction action;
        action.line = n + 1;
        const auto time = parseTime(words[0]);
        if (!time) return fail("bad time '" + words[0] + "'");
        action.ms = *time;
        if (words.size() < 2) return fail("missing action");
        const QString verb = words[1];
        if (verb == "end") {
            action.type = SessionAction::End;
        } else if (verb == "load") {
            action.type = SessionAction::Load;
            if (words.size() < 4 || (words[2] != "left" && words[2] != "right"))
                return fail("usage: TIME load left|right PATH");
            action.target = words[2];
            action.path = restAfter(line, 3);
        } else if (verb == "playlist") {
            action.type = SessionAction::Playlist;
            action.path = restAfter(line, 2);
            if (action.path.isEmpty()) return fail("usage: TIME playlist PATH.m3u");
        } else if (verb == "click" || verb == "down" || verb == "up") {
            action.type = verb == "click"  ? SessionAction::Click
                          : verb == "down" ? SessionAction::Down
                                           : SessionAction::Up;
            if (words.size() < 3 || words.size() > 5)
                return fail("usage: TIME " + verb + " CONTROL [INDEX] [right]");
            action.target = words[2];
            // A pad pressed with the right button must be let go with it too, or its roll
            // never ends.
            for (int w = 3; w < words.size(); ++w) {
                if (action.type != SessionAction::Click && words[w] == "right" &&
                    !action.rightButton) {
                    action.rightButton = true;
                } else if (const auto index = parseInt(words[w]); index && *index >= 0 && w == 3) {
                    action.index = *index;
                } else {
                    return fail("bad argument '" + words[w] + "'");
                }
            }
        } else if (verb == "set") {
            action.type = SessionAction::Set;
            if (words.size() != 4) return fail("usage: TIME set CONTROL VALUE");
            action.target = words[2];
            const auto value = parseInt(words[3]);
            if (!value) return fail("bad value '" + words[3] + "'");
            action.value = *value;
        } else if (verb == "effect" || verb == "param") {
            // `effect UNIT SLOT NAME`, `param UNIT SLOT SYMBOL VALUE`: units and slots from 1.
            const bool effect = verb == "effect";
            action.type = effect ? SessionAction::Effect : SessionAction::Param;
            if (words.size() != (effect ? 5 : 6))
                return fail(effect ? "usage: TIME effect UNIT SLOT NAME|lv2:URI|none"
                                   : "usage: TIME param UNIT SLOT SYMBOL VALUE");
            const auto unit = parseInt(words[2]);
            const auto slot = parseInt(words[3]);
            if (!unit || *unit < 1 || *unit > 4)
                return fail("bad unit '" + words[2] + "' (1 to 4)");
            if (!slot || *slot < 1 || *slot > 3)
                return fail("bad slot '" + words[3] + "' (1 to 3)");
            action.index = *unit - 1;
            action.value = *slot - 1;
            action.target = words[4];
            if (!effect) {
                bool ok = false;
                action.number = words[5].toDouble(&ok);
                if (!ok || !std::isfinite(action.number))
                    return fail("bad value '" + words[5] + "'");
            }
        } else if (verb == "key" || verb == "keyup") {
            action.type = verb == "key" ? SessionAction::Key : SessionAction::KeyUp;
            if (words.size() < 3) return fail("usage: TIME " + verb + " NAME [shift] [ctrl] [alt]");
            action.target = words[2];
            for (int i = 3; i < words.size(); ++i) {
                const int bit = words[i] == "shift"  ? 1
                                : words[i] == "ctrl" ? 2
                                : words[i] == "alt"  ? 4
                                                     : 0;
                if (bit == 0) return fail("bad modifier '" + words[i] + "'");
                action.modifiers |= bit;
            }
        } else if (verb == "turn") {
            action.type = SessionAction::Turn;
            if (words.size() != 4) return fail("usage: TIME turn JOG TICKS");
            action.target = words[2];
            const auto ticks = parseInt(words[3]);
            if (!ticks) return fail("bad ticks '" + words[3] + "'");
            action.value = *ticks;
        } else if (verb == "midi") {
            action.type = SessionAction::Midi;
            if (words.size() != 5) return fail("usage: TIME midi STATUS DATA1 DATA2 (hex bytes)");
            for (int i = 0; i < 3; ++i) {
                const auto byte = parseHexByte(words[2 + i]);
                // A status byte has its top bit set; data bytes never do.
                if (!byte || (i == 0) != (*byte >= 0x80))
                    return fail("bad MIDI byte '" + words[2 + i] + "'");
                action.midi[i] = *byte;
            }
        } else {
            return fail("unknown action '" + verb + "'");
        }
        result.actions.push_back(action);
    }
    std::stable_sort(result.actions.begin(), result.actions.end(),
                     [](const SessionAction& a, const SessionAction& b) { return a.ms < b.ms; });
    return result;
}

}  // namespace kelvra::session
