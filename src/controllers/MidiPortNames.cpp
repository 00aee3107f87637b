#include "controllers/MidiPortNames.h"

#include <QRegularExpression>

namespace kelvra::controllers {

QString stableName(const std::string& driverName) {
    static const QRegularExpression numbers(QStringLiteral("\\s+\\d+:\\d+$"));
    return QString::fromStdString(driverName).remove(numbers).trimmed();
}

bool isOwnPort(const QString& name) {
    // JACK makes a second client of one name unique by a number: "kelvra-midi-01".
    static const QRegularExpression own(QStringLiteral("^kelvra(-midi)?(-\\d+)?:"));
    return own.match(name).hasMatch();
}

std::vector<MidiPort> stablePorts(const std::vector<std::string>& driverNames) {
    std::vector<MidiPort> ports;
    QStringList seen;
    for (unsigned index = 0; index < driverNames.size(); ++index) {
        const QString base = stableName(driverNames[index]);
        if (base.isEmpty() || isOwnPort(base)) continue;
        QString name = base;
        for (int copy = 2; seen.contains(name); ++copy)
            name = QStringLiteral("%1 (%2)").arg(base).arg(copy);
        seen << name;
        ports.push_back({name, index});
    }
    return ports;
}

}  // namespace kelvra::controllers
