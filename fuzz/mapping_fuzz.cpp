// Fuzzes the controller mapping parser: any text gives bindings with their fields in range and
// problems by line, never a crash; every binding read formats to a line that reads back the same.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "controllers/MidiMapping.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvra::controllers;
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const MidiMapping mapping = parseMapping(text);
    for (const InputBinding& binding : mapping.inputs) {
        if (binding.channel < 0 || binding.channel > 15 || binding.number < 0 ||
            binding.number > 127 || binding.line < 1 || binding.control.isEmpty())
            std::abort();
        const MidiMapping again = parseMapping(formatBinding(binding));
        if (again.inputs.size() != 1 || !again.problems.empty()) std::abort();
        if (formatBinding(again.inputs[0]) != formatBinding(binding)) std::abort();
    }
    for (const LightBinding& light : mapping.lights)
        if (light.channel < 0 || light.channel > 15 || light.number < 0 || light.number > 127)
            std::abort();
    for (const MappingProblem& problem : mapping.problems)
        if (problem.line < 0 || problem.message.isEmpty()) std::abort();
    return 0;
}
