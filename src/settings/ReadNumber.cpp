#include "settings/SettingsStore.h"

namespace kelvra::settings {

double readNumber(const QString& text) {
    // Leading blanks are skipped as a numeric conversion of stored text would; then a sign,
    // digits and at most one period. The first other character ends the number.
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    QString number;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) number += text[i++];
    bool period = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits = true;
            number += c;
        } else if (c == u'.' && !period) {
            period = true;
            number += c;
        } else {
            break;
        }
    }
    if (!digits) return 0.0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

}  // namespace kelvra::settings
