#include "audio/analysis/KeyNames.h"

#include <algorithm>

namespace kelvra::audio::analysis {
namespace {

constexpr const char* kPitchNames[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                         "F#", "G",  "Ab", "A",  "Bb", "B"};

}  // namespace

std::string keyName(int key) {
    if (key < 0 || key > 23) return {};
    return std::string(kPitchNames[key % 12]) + (key < 12 ? " major" : " minor");
}

namespace {
// The wheel's number: majors in fifths from C at 8, minors at their relative major's number.
int wheelNumber(int key) {
    const int major = key < 12 ? key : (key % 12 + 3) % 12;
    return (major * 7 + 7) % 12 + 1;
}
}  // namespace

std::string keyWheel(int key) {
    if (key < 0 || key > 23) return {};
    return std::to_string(wheelNumber(key)) + (key < 12 ? "B" : "A");
}

bool keysCompatible(int a, int b) {
    if (a < 0 || b < 0 || a > 23 || b > 23) return false;
    const int na = wheelNumber(a), nb = wheelNumber(b);
    const bool sameRing = (a < 12) == (b < 12);
    const int steps = std::min((na - nb + 12) % 12, (nb - na + 12) % 12);
    return sameRing ? steps <= 1 : steps == 0;
}

}  // namespace kelvra::audio::analysis
