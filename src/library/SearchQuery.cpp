#include "library/SearchQuery.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <array>

#include "audio/analysis/KeyNames.h"
#include "library/TextInitials.h"

namespace kelvra::library {
namespace {

constexpr std::array<const char*, 5> kTextFields = {"artist", "title", "album", "genre", "comment"};

// One piece of the query: a bare word or phrase, or a field's value.
struct Term {
    QString field;  // lower case; empty for a bare term
    QString value;
    bool quoted = false;
};

// Splits at spaces outside quotes; `field:"a b"` and `"a b"` stay whole.
std::vector<Term> termsOf(const QString& text) {
    std::vector<Term> terms;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        if (i >= n) break;
        Term term;
        qsizetype start = i;
        while (i < n && !text[i].isSpace() && text[i] != u'"' && text[i] != u':')
            ++i;
        if (i < n && text[i] == u':' && i > start) {
            term.field = text.mid(start, i - start).toLower();
            ++i;
            start = i;
        }
        if (i == start && i < n && text[i] == u'"') {
            const qsizetype close = text.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            term.value = text.mid(i + 1, end - i - 1);
            term.quoted = true;
            i = close < 0 ? n : close + 1;
        } else {
            while (i < n && !text[i].isSpace())
                ++i;
            term.value = text.mid(start, i - start);
        }
        terms.push_back(std::move(term));
    }
    return terms;
}

// True when the text index would find a word in `text`: it keeps letters, digits and private
// use characters and drops the rest, so a term of only punctuation matches nothing to search.
bool hasToken(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.isLetterOrNumber() || c.category() == QChar::Other_PrivateUse || c.isSurrogate();
    });
}

// The term as an FTS5 string; a bare word also matches longer words that start with it.
QString phraseOf(const Term& term) {
    QString escaped = term.value;
    escaped.replace(u'"', QStringLiteral("\"\""));
    return u'"' + escaped + u'"' + (term.quoted ? QString() : QStringLiteral("*"));
}

bool isTextField(const QString& field) {
    return std::any_of(kTextFields.begin(), kTextFields.end(),
                       [&](const char* name) { return field == QLatin1String(name); });
}

// One tempo bound: a whole number covers the tempos shown as it, a fraction is exact.
bool readBpm(const QString& text, double& low, double& high) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !(value >= 0 && value <= 1000)) return false;
    const bool whole = !text.contains(u'.');
    low = whole ? value - 0.5 : value;
    high = whole ? value + 0.5 : value;
    return true;
}

QString readBpmTerm(const QString& value, SearchQuery& query) {
    const QString why = QStringLiteral("bpm takes a tempo or a range like 120-128, not \"%1\"");
    const QStringList ends = value.split(u'-');
    double lowA = 0, highA = 0, lowB = 0, highB = 0;
    if (ends.size() > 2 || !readBpm(ends.front(), lowA, highA)) return why.arg(value);
    if (ends.size() == 2 && !readBpm(ends.back(), lowB, highB)) return why.arg(value);
    if (ends.size() == 1) {
        lowB = lowA;
        highB = highA;
    }
    // A range typed backwards is the same range.
    const double low = std::min(lowA, lowB), high = std::max(highA, highB);
    query.bpmLow = std::max(query.bpmLow.value_or(low), low);
    query.bpmHigh = std::min(query.bpmHigh.value_or(high), high);
    return {};
}

}  // namespace

std::optional<int> parseKey(const QString& text) {
    QString key = text.toLower();
    key.remove(u' ');
    if (key.isEmpty()) return std::nullopt;
    for (int k = 0; k < 24; ++k)
        if (key == QString::fromStdString(audio::analysis::keyWheel(k)).toLower()) return k;
    static constexpr std::array<int, 7> kPitch = {9, 11, 0, 2, 4, 5, 7};  // a..g
    if (key[0] < u'a' || key[0] > u'g') return std::nullopt;
    int pitch = kPitch[std::size_t(key[0].unicode() - u'a')];
    QString rest = key.mid(1);
    static const QStringList kModes = {"", "maj", "major", "m", "min", "minor"};
    if (rest.startsWith(u'#') || rest.startsWith(u'\u266F')) {
        ++pitch;
        rest.remove(0, 1);
    } else if ((rest.startsWith(u'b') || rest.startsWith(u'\u266D')) &&
               kModes.contains(rest.mid(1))) {
        --pitch;
        rest.remove(0, 1);
    }
    const qsizetype mode = kModes.indexOf(rest);
    if (mode < 0) return std::nullopt;
    return (pitch + 12) % 12 + (mode >= 3 ? 12 : 0);
}

SearchQuery parseSearchQuery(const QString& text) {
    SearchQuery query;
    QStringList match;
    std::vector<Term> terms = termsOf(text);
    int initial = -1;
    for (std::size_t i = 0; i < terms.size(); ++i) {
        Term& term = terms[i];
        if (term.field == u"bpm") {
            query.error = readBpmTerm(term.value, query);
            if (!query.error.isEmpty()) return query;
            continue;
        }
        if (term.field == u"key") {
            // "key:A minor" unquoted: the mode is the next word.
            static const QRegularExpression mode(QStringLiteral("^(?i)(major|minor|maj|min)$"));
            if (!term.quoted && i + 1 < terms.size() && terms[i + 1].field.isEmpty() &&
                !terms[i + 1].quoted && mode.match(terms[i + 1].value).hasMatch() &&
                parseKey(term.value + terms[i + 1].value)) {
                term.value += terms[++i].value;
            }
            const std::optional<int> key = parseKey(term.value);
            if (!key) {
                query.error = QStringLiteral("key takes a key like 8A or \"A minor\", not \"%1\"")
                                  .arg(term.value);
                return query;
            }
            query.key = query.key && *query.key != *key ? kNoMatchingKey : *key;
            continue;
        }
        if (!term.field.isEmpty() && !isTextField(term.field)) {
            // Not a field the library has: the colon was part of what was typed.
            term.value = term.field + u':' + term.value;
            term.field.clear();
        }
        if (!hasToken(term.value)) continue;
        initial = term.field.isEmpty() && !term.quoted && term.value.size() == 1
                      ? initialBit(term.value[0])
                      : -1;
        const QString words =
            (term.field.isEmpty() ? QString() : term.field + QStringLiteral(" : ")) +
            phraseOf(term);
        match << words;
        query.terms.push_back({term.field, term.value, words, term.quoted});
    }
    query.match = match.join(u' ');
    if (match.size() == 1) query.initial = initial;
    return query;
}

}  // namespace kelvra::library
