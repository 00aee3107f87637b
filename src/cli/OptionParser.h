// The words of a command: one operand (a file), `--name VALUE` options and `--name` flags, each
// bound to the variable it sets. Numbers are read whole, in the C locale, and must lie in their
// range; anything else refuses the words, and error() says which word and why.
#pragma once

#include <charconv>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "cli/Commands.h"

namespace kelvra::cli {

class OptionParser {
  public:
    OptionParser& text(const char* name, std::string& target) {
        options_.emplace_back(name, [&target](const std::string& value) {
            target = value;
            return std::string();
        });
        return *this;
    }
    // A number from `lowest` to `highest`; a floating-point one must also be finite.
    template <typename T>
    OptionParser& number(const char* name, T& target, T lowest, T highest) {
        options_.emplace_back(name, [&target, name, lowest, highest](const std::string& value) {
            T read{};
            const char* end = value.data() + value.size();
            const auto result = std::from_chars(value.data(), end, read);
            bool fits =
                result.ec == std::errc() && result.ptr == end && read >= lowest && read <= highest;
            if constexpr (std::is_floating_point_v<T>) fits = fits && std::isfinite(read);
            if (!fits) {
                std::ostringstream why;
                why << name << " takes a number from " << lowest << " to " << highest << ", not '"
                    << value << "'";
                return why.str();
            }
            target = read;
            return std::string();
        });
        return *this;
    }

    OptionParser& flag(const char* name, bool& target) {
        flags_.emplace_back(name, &target);
        return *this;
    }

    // False on an unknown option, a missing or malformed value, or a second operand.
    bool parse(const Args& args, std::string& operand) {
        error_.clear();
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& word = args[i];
            if (word.rfind("--", 0) != 0) {
                if (!operand.empty()) return refuse("one file only, not also '" + word + "'");
                operand = word;
                continue;
            }
            if (setFlag(word)) continue;
            const auto option = find(word);
            if (!option) return refuse("unknown option '" + word + "'");
            if (i + 1 >= args.size()) return refuse(word + " needs a value");
            if (std::string why = (*option)(args[++i]); !why.empty()) return refuse(why);
        }
        return true;
    }
    // What parse() refused, for a person; empty when it did not.
    const std::string& error() const { return error_; }

  private:
    using Apply = std::function<std::string(const std::string&)>;

    bool refuse(std::string why) {
        error_ = std::move(why);
        return false;
    }
    bool setFlag(const std::string& name) const {
        for (const auto& [known, target] : flags_)
            if (name == known) return *target = true;
        return false;
    }
    const Apply* find(const std::string& name) const {
        for (const auto& [known, apply] : options_)
            if (name == known) return &apply;
        return nullptr;
    }

    std::vector<std::pair<std::string, Apply>> options_;
    std::vector<std::pair<std::string, bool*>> flags_;
    std::string error_;
};

}  // namespace kelvra::cli
