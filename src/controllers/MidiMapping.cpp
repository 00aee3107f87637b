#include "controllers/MidiMapping.h"

#include <optional>

namespace kelvra::controllers {
namespace {

// A hostile file of bad lines must not grow a list without end; the DJ fixes the first ones.
constexpr int kMaxProblems = 100;
// Enough for any control's name; longer is not a name but noise.
constexpr int kMaxNameLength = 64;
// Group indices are small (eight hot cues, nine beat loops); anything large is a typo.
constexpr int kMaxIndex = 127;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<QByteArrayView> tokens(QByteArrayView line) {
    std::vector<QByteArrayView> out;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i]))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && !isSpace(line[i]))
            ++i;
        if (i > start) out.push_back(line.sliced(start, i - start));
    }
    return out;
}

// The token as it can be shown: printable ASCII only, and not too long.
QString shown(QByteArrayView token) {
    QString text;
    for (qsizetype i = 0; i < token.size() && i < 32; ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        text += c >= 0x20 && c < 0x7F ? QChar(c) : QChar('?');
    }
    if (token.size() > 32) text += QStringLiteral("...");
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

bool equalsWord(QByteArrayView token, const char* word) {
    return token.compare(QByteArrayView(word), Qt::CaseInsensitive) == 0;
}

// Decimal or 0x-hex, digits only (no sign, no spaces). Large values come back as a sentinel so
// the range check reports them; nothing overflows whatever the length.
std::optional<long long> number(QByteArrayView token) {
    constexpr long long kHuge = 1'000'000'000;
    int base = 10;
    if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        base = 16;
        token = token.sliced(2);
    }
    if (token.isEmpty()) return std::nullopt;
    long long value = 0;
    for (char c : token) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        if (value < kHuge) value = value * base + digit;
    }
    return value;
}

bool isControlName(QByteArrayView token) {
    if (token.isEmpty() || token.size() > kMaxNameLength) return false;
    for (qsizetype i = 0; i < token.size(); ++i) {
        const char c = token[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        // After the first letter: digits, and the dots of an alias (`left.hotcue`).
        if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '.'))) return false;
    }
    return true;
}

// Reads one line's words left to right; the first complaint wins and ends the line.
class LineReader {
  public:
    explicit LineReader(std::vector<QByteArrayView> words) : words_(std::move(words)) {}

    bool atEnd() const { return next_ >= words_.size(); }
    QByteArrayView peek() const { return words_[next_]; }
    QByteArrayView take() { return words_[next_++]; }
    const QString& error() const { return error_; }
    bool failed() const { return !error_.isEmpty(); }
    void fail(const QString& message) {
        if (error_.isEmpty()) error_ = message;
    }

    // A number in low..high named `what`; -1 (and a complaint) when there is none.
    int expectNumber(const QString& what, int low, int high) {
        if (failed()) return -1;
        if (atEnd()) {
            fail(QStringLiteral("missing the %1").arg(what));
            return -1;
        }
        const QByteArrayView word = take();
        const auto value = number(word);
        if (!value) {
            fail(QStringLiteral("%1 is not a number (the %2)").arg(shown(word), what));
            return -1;
        }
        if (*value < low || *value > high) {
            fail(QStringLiteral("%1 %2 is out of range %3..%4")
                     .arg(what, shown(word))
                     .arg(low)
                     .arg(high));
            return -1;
        }
        return static_cast<int>(*value);
    }

    QString expectControl() {
        if (failed()) return {};
        if (atEnd()) {
            fail(QStringLiteral("missing the control's name"));
            return {};
        }
        const QByteArrayView word = take();
        if (!isControlName(word)) {
            fail(QStringLiteral("%1 is not a control's name").arg(shown(word)));
            return {};
        }
        return QString::fromLatin1(word);
    }

    // An index follows the name when the next word is a number.
    int optionalIndex() {
        if (failed() || atEnd() || !number(peek())) return -1;
        return expectNumber(QStringLiteral("index"), 0, kMaxIndex);
    }

  private:
    std::vector<QByteArrayView> words_;
    std::size_t next_ = 0;
    QString error_;
};

void readCcOptions(LineReader& reader, InputBinding& binding) {
    bool modeGiven = false;
    auto setMode = [&](CcMode mode, QByteArrayView word) {
        if (modeGiven) reader.fail(QStringLiteral("a second mode %1").arg(shown(word)));
        modeGiven = true;
        binding.mode = mode;
    };
    while (!reader.failed() && !reader.atEnd()) {
        const QByteArrayView word = reader.take();
        if (equalsWord(word, "absolute")) {
            setMode(CcMode::Absolute, word);
        } else if (equalsWord(word, "relative")) {
            setMode(CcMode::Relative, word);
        } else if (equalsWord(word, "relative64")) {
            setMode(CcMode::Relative64, word);
        } else if (equalsWord(word, "14bit")) {
            setMode(CcMode::FourteenBit, word);
            binding.lsbNumber = reader.expectNumber(QStringLiteral("LSB's number"), 0, 127);
            if (binding.lsbNumber == binding.number)
                reader.fail(QStringLiteral("the LSB's number must differ from the MSB's"));
        } else if (equalsWord(word, "invert")) {
            binding.direction = Direction::Inverted;
        } else {
            reader.fail(QStringLiteral("unknown option %1 (absolute, relative, relative64, "
                                       "14bit or invert)")
                            .arg(shown(word)));
        }
    }
}

std::optional<InputBinding> readInput(LineReader& reader, MessageKind kind, int line) {
    InputBinding binding;
    binding.line = line;
    binding.message = kind;
    binding.channel = reader.expectNumber(QStringLiteral("channel"), 1, 16) - 1;
    binding.number = reader.expectNumber(QStringLiteral("number"), 0, 127);
    binding.control = reader.expectControl();
    binding.index = reader.optionalIndex();
    if (kind == MessageKind::Cc)
        readCcOptions(reader, binding);
    else if (!reader.failed() && !reader.atEnd())
        reader.fail(
            QStringLiteral("unexpected %1 after a note's control").arg(shown(reader.peek())));
    if (reader.failed()) return std::nullopt;
    return binding;
}

std::optional<LightBinding> readLight(LineReader& reader, int line) {
    LightBinding light;
    light.line = line;
    if (reader.atEnd()) {
        reader.fail(QStringLiteral("out needs note or cc"));
        return std::nullopt;
    }
    const QByteArrayView word = reader.take();
    if (equalsWord(word, "note"))
        light.message = MessageKind::Note;
    else if (equalsWord(word, "cc"))
        light.message = MessageKind::Cc;
    else
        reader.fail(QStringLiteral("out needs note or cc, not %1").arg(shown(word)));
    light.channel = reader.expectNumber(QStringLiteral("channel"), 1, 16) - 1;
    light.number = reader.expectNumber(QStringLiteral("number"), 0, 127);
    light.control = reader.expectControl();
    light.index = reader.optionalIndex();
    if (!reader.failed() && !reader.atEnd())
        reader.fail(
            QStringLiteral("unexpected %1 after a light's button").arg(shown(reader.peek())));
    if (reader.failed()) return std::nullopt;
    return light;
}

QByteArray hex(int value) {
    return "0x" + QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

}  // namespace

bool InputBinding::listensTo(MessageKind kind, int channel_, int number_) const {
    if (kind != message || channel_ != channel) return false;
    return number_ == number || (mode == CcMode::FourteenBit && number_ == lsbNumber);
}

namespace {

// The number of `binding`'s that `earlier` listens to as well (a 14-bit binding has two).
int heardBy(const InputBinding& earlier, const InputBinding& binding) {
    return earlier.listensTo(binding.message, binding.channel, binding.number) ? binding.number
                                                                               : binding.lsbNumber;
}

// The earlier binding that listens to a message `binding` listens to, if any. (An earlier
// 14-bit binding's fine half is among what listensTo() hears.)
const InputBinding* boundAlready(const MidiMapping& mapping, const InputBinding& binding) {
    for (const InputBinding& earlier : mapping.inputs)
        if (earlier.listensTo(binding.message, binding.channel, binding.number) ||
            (binding.mode == CcMode::FourteenBit &&
             earlier.listensTo(binding.message, binding.channel, binding.lsbNumber)))
            return &earlier;
    return nullptr;
}

// "note 1 0x0B": the message as a mapping line writes it.
QString messageName(const InputBinding& binding, int number) {
    return QStringLiteral("%1 %2 %3")
        .arg(binding.message == MessageKind::Note ? "note" : "cc")
        .arg(binding.channel + 1)
        .arg(QString::fromLatin1(hex(number)));
}

}  // namespace

MidiMapping parseMapping(QByteArrayView text) {
    MidiMapping mapping;
    int skipped = 0;
    int lineNumber = 0;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        ++lineNumber;
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (const qsizetype hash = line.indexOf('#'); hash >= 0) line = line.first(hash);
        std::vector<QByteArrayView> words = tokens(line);
        if (words.empty()) continue;
        const QByteArrayView first = words.front();
        LineReader reader(std::move(words));
        reader.take();
        if (equalsWord(first, "note") || equalsWord(first, "cc")) {
            const auto kind = equalsWord(first, "note") ? MessageKind::Note : MessageKind::Cc;
            if (auto binding = readInput(reader, kind, lineNumber)) {
                if (const InputBinding* earlier = boundAlready(mapping, *binding)) {
                    reader.fail(QStringLiteral("%1 is bound by line %2 already")
                                    .arg(messageName(*binding, heardBy(*earlier, *binding)))
                                    .arg(earlier->line));
                    mapping.duplicates.push_back(std::move(*binding));
                } else {
                    mapping.inputs.push_back(std::move(*binding));
                }
            }
        } else if (equalsWord(first, "out")) {
            if (auto light = readLight(reader, lineNumber))
                mapping.lights.push_back(std::move(*light));
        } else {
            reader.fail(QStringLiteral("unknown word %1 (a line starts with note, cc or out)")
                            .arg(shown(first)));
        }
        if (!reader.failed()) continue;
        if (static_cast<int>(mapping.problems.size()) < kMaxProblems)
            mapping.problems.push_back({lineNumber, reader.error()});
        else
            ++skipped;
    }
    if (skipped > 0)
        mapping.problems.push_back(
            {0, QStringLiteral("%1 more bad lines not listed").arg(skipped)});
    return mapping;
}

QByteArray formatBinding(const InputBinding& b) {
    QByteArray line = b.message == MessageKind::Note ? "note " : "cc ";
    line += QByteArray::number(b.channel + 1) + ' ' + hex(b.number) + ' ' + b.control.toLatin1();
    if (b.index >= 0) line += ' ' + QByteArray::number(b.index);
    if (b.message == MessageKind::Cc) {
        switch (b.mode) {
            case CcMode::Absolute:
                break;
            case CcMode::Relative:
                line += " relative";
                break;
            case CcMode::Relative64:
                line += " relative64";
                break;
            case CcMode::FourteenBit:
                line += " 14bit " + hex(b.lsbNumber);
                break;
        }
        if (b.direction == Direction::Inverted) line += " invert";
    }
    return line;
}

QString describe(const MappingProblem& problem) {
    if (problem.line <= 0) return problem.message;
    return QStringLiteral("line %1: %2").arg(problem.line).arg(problem.message);
}

}  // namespace kelvra::controllers
