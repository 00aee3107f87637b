// Fuzzes the reader of numbers stored as text in the settings.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double value = kelvra::settings::readNumber(text);
    if (std::isnan(value)) std::abort();
    return 0;
}
