#include "cli/OpenFailure.h"

#include <cstdio>

#include "audio/ErrorText.h"
#include "audio/engine/Engine.h"
#include "core/PathBytes.h"

namespace kelvra::cli {

int reportOpenFailure(const std::string& file, const audio::engine::Engine& engine) {
    const int code = engine.errorCode();
    std::printf("error\t%d\t%s\n", code, audio::errorText(code).toUtf8().constData());
    std::fflush(stdout);
    const QString reason =
        audio::openFailureReason(pathFromBytes(QByteArray::fromStdString(file)), code,
                                 QString::fromStdString(engine.errorDetail()));
    reportFileProblem(file, reason.toStdString());
    return 1;
}

void reportFileProblem(const std::string& file, const std::string& reason) {
    // The path as given, byte for byte: it is what the user typed.
    std::fprintf(stderr, "kelvra-cli: %s: %s\n", file.c_str(), reason.c_str());
}

}  // namespace kelvra::cli
