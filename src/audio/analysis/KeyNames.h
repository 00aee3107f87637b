// A musical key's names: "C minor" and its place on the mixing wheel ("5A"), and which keys mix.
// Any thread.
#pragma once

#include <string>

namespace kelvra::audio::analysis {

// 0..11 major keys on C..B, 12..23 minor keys on C..B; kNoKey where none stands out.
inline constexpr int kNoKey = -1;

// "C minor", "F# major"; empty for kNoKey.
std::string keyName(int key);
// The mixing wheel: "8B" for C major, "5A" for C minor; empty for kNoKey.
std::string keyWheel(int key);
// Keys that mix without a clash: the same, a fifth either way (one step on the wheel), or the
// relative major or minor (the other ring at the same number).
bool keysCompatible(int a, int b);

}  // namespace kelvra::audio::analysis
