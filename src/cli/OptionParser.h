// The words of a command: one operand (a file), `--name VALUE` options and `--name` flags, each
// bound to the variable it sets. Numbers are read whole, in the C locale, or the words are refused.
#pragma once

#include <charconv>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"

namespace kelvra::cli {

class OptionParser {
  public:
    OptionParser& text(const char* name, std::string& target) {
        options_.emplace_back(name, [&target](const std::string& value) {
            target = value;
            return true;
        });
        return *this;
    }
    template <typename T>
    OptionParser& number(const char* name, T& target) {
        options_.emplace_back(name, [&target](const std::string& value) {
            const char* end = value.data() + value.size();
            const auto result = std::from_chars(value.data(), end, target);
            return result.ec == std::errc() && result.ptr == end;
        });
        return *this;
    }

    OptionParser& flag(const char* name, bool& target) {
        flags_.emplace_back(name, &target);
        return *this;
    }

    // False on an unknown option, a missing or malformed value, or a second operand.
    bool parse(const Args& args, std::string& operand) const {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& word = args[i];
            if (word.rfind("--", 0) != 0) {
                if (!operand.empty()) return false;
                operand = word;
                continue;
            }
            if (setFlag(word)) continue;
            if (i + 1 >= args.size() || !set(word, args[++i])) return false;
        }
        return true;
    }

  private:
    bool setFlag(const std::string& name) const {
        for (const auto& [known, target] : flags_)
            if (name == known) return *target = true;
        return false;
    }
    bool set(const std::string& name, const std::string& value) const {
        for (const auto& [known, apply] : options_)
            if (name == known) return apply(value);
        return false;
    }

    std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> options_;
    std::vector<std::pair<std::string, bool*>> flags_;
};

}  // namespace kelvra::cli
