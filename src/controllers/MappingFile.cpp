#include "controllers/MappingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <set>

#include "core/FileHelpers.h"
#include "core/SaveFile.h"

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
    // Only a regular file: a pipe or a device named as a mapping would block the program.
    ReadFailure failure = ReadFailure::None;
    std::optional<QByteArray> text = readRegularFile(path, kMaxMappingFileSize, &failure);
    if (!text && error)
        *error = failure == ReadFailure::TooLarge
                     ? QStringLiteral("%1 is too large for a mapping").arg(path)
                     : QStringLiteral("cannot read %1: %2").arg(path, readFailureText(failure));
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
    std::vector<InputBinding> all = mapping.inputs;
    all.insert(all.end(), mapping.duplicates.begin(), mapping.duplicates.end());
    std::sort(all.begin(), all.end(),
              [](const InputBinding& a, const InputBinding& b) { return a.line < b.line; });
    std::vector<Conflict> conflicts;
    for (const InputBinding& other : all) {
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
    const QString failure = saveWholeFile(path, withBinding(text, binding));
    if (!failure.isEmpty() && error) *error = failure;
    return failure.isEmpty();
}

}  // namespace kelvra::controllers
