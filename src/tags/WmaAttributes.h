// Walking the attribute list the WMA side of the audio library reports: NUL-terminated
// "name:value" texts in UTF-8, ended by an empty text. Pure; any thread.
#pragma once

#include <QString>
#include <string_view>
#include <vector>

namespace kelvra::tags {

struct WmaAttribute {
    QString name;   // before the first ":", as stored
    QString value;  // after that ":", not trimmed
};

// The attributes in list order. Texts of two characters or fewer are skipped, and so is a text
// without ":" (it names nothing). The walk ends at the empty text or at the end of `list`.
std::vector<WmaAttribute> wmaAttributes(std::string_view list);

// A name as the readers compare it: upper case, spaces trimmed.
QString wmaKey(const QString& name);

}  // namespace kelvra::tags
