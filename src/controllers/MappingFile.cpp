#include "controllers/MappingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <set>

namespace kelvra::controllers {
namespace {

// Each line's start, and where the next begins (after its '\n').
struct LineSpan {
    qsizetype start = 0;
    qsizetype end = 0;   // before the '\n' (and a '\r' before it)
    qsizetype next = 0;  // after the '\n'
};

std::vector<LineSpan> lineSpans(QByteArrayView text) {
    std::vector<LineSpan> spans;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype newline = text.indexOf('\n', start);
        const qsizetype next = newline < 0 ? text.size() : newline + 1;
        qsizetype end = newline < 0 ? text.size() : newline;
        if (end > start && text[end - 1] == '\r') --end;
        spans.push_back({start, end, next});
        start = next;
    }
    return spans;
}

}  // namespace

QString mappingFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kelvra/controllers/");
}

QStringList mappingFiles() {
    return QDir(mappingFolder())
        .entryList({QStringLiteral("*") + QLatin1String(kMappingSuffix)}, QDir::Files, QDir::Name);
}

std::optional<QByteArray> readMappingText(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // Read one byte past the limit rather than trust the size a special file reports.
    QByteArray text = file.read(kMaxMappingFileSize + 1);
    if (text.size() > kMaxMappingFileSize) {
        if (error) *error = QStringLiteral("%1 is too large for a mapping").arg(path);
        return std::nullopt;
    }
    return text;
}

MidiMapping readMapping(const QString& path) {
    QString error;
    const auto text = readMappingText(path, &error);
    if (!text) {
        MidiMapping none;
        none.problems.push_back({0, error});
        return none;
    }
    return parseMapping(*text);
}

std::vector<Conflict> findConflicts(QByteArrayView text, const InputBinding& binding) {
    const MidiMapping mapping = parseMapping(text);
    const std::vector<LineSpan> spans = lineSpans(text);
    std::vector<Conflict> conflicts;
    for (const InputBinding& other : mapping.inputs) {
        Conflict c;
        c.line = other.line;
        c.sameMessage = other.listensTo(binding.message, binding.channel, binding.number) ||
                        (binding.mode == CcMode::FourteenBit &&
                         other.listensTo(binding.message, binding.channel, binding.lsbNumber));
        c.sameControl = other.control == binding.control && other.index == binding.index &&
                        other.message == binding.message;
        if (!c.sameMessage && !c.sameControl) continue;
        if (other.line < 1 || other.line > static_cast<int>(spans.size())) continue;
        const LineSpan& span = spans[other.line - 1];
        c.text = text.sliced(span.start, span.end - span.start).toByteArray();
        conflicts.push_back(std::move(c));
    }
    return conflicts;
}

QByteArray withBinding(QByteArrayView text, const InputBinding& binding) {
    std::set<int> replaced;
    for (const Conflict& c : findConflicts(text, binding))
        replaced.insert(c.line);
    const std::vector<LineSpan> spans = lineSpans(text);
    const QByteArray eol = !spans.empty() && spans[0].next > spans[0].end + 1 ? "\r\n" : "\n";
    const QByteArray line = formatBinding(binding) + eol;
    QByteArray out;
    out.reserve(text.size() + line.size() + 2);
    bool placed = false;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const LineSpan& span = spans[i];
        if (!replaced.count(static_cast<int>(i) + 1)) {
            out += text.sliced(span.start, span.next - span.start);
            continue;
        }
        if (placed) continue;
        placed = true;
        out += line;
    }
    if (!placed) {
        if (!out.isEmpty() && !out.endsWith('\n')) out += eol;
        out += line;
    }
    return out;
}

bool writeBinding(const QString& path, const InputBinding& binding, QString* error) {
    QByteArray text;
    if (QFileInfo::exists(path)) {
        const auto existing = readMappingText(path, error);
        if (!existing) return false;
        text = *existing;
    } else if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = QStringLiteral("cannot make the folder of %1").arg(path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray out = withBinding(text, binding);
    if (file.write(out) != out.size() || !file.commit()) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace kelvra::controllers
