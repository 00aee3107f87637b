#include "tags/WmaAttributes.h"

#include "tags/TagText.h"

namespace kelvra::tags {

std::vector<WmaAttribute> wmaAttributes(std::string_view list) {
    std::vector<WmaAttribute> attributes;
    std::size_t at = 0;
    while (at < list.size()) {
        std::string_view entry = list.substr(at);
        entry = entry.substr(0, entry.find('\0'));
        if (entry.empty()) break;
        at += entry.size() + 1;
        const QString text = QString::fromUtf8(entry.data(), qsizetype(entry.size()));
        const qsizetype colon = text.indexOf(u':');
        if (text.size() <= 2 || colon < 0) continue;
        attributes.push_back({text.left(colon), text.mid(colon + 1)});
    }
    return attributes;
}

QString wmaKey(const QString& name) {
    return trimSpaces(name.toUpper());
}

}  // namespace kelvra::tags
