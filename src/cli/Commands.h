// The commands of kelvra-cli. Each takes the words after the command name and returns the
// process exit code; results go to standard output, failures to standard error.
#pragma once

#include <string>
#include <vector>

namespace kelvra::cli {

using Args = std::vector<std::string>;

int probeCommand(const Args& args);     // probe FILE
int renderCommand(const Args& args);    // render FILE --out OUT.wav [options]
int tagsCommand(const Args& args);      // tags FILE...
int id3v1Command(const Args& args);     // id3v1 FILE
int playlistCommand(const Args& args);  // playlist FILE.m3u
int automixCommand(const Args& args);   // automix LIST.m3u --out MIX.wav [options]
int sessionCommand(const Args& args);   // session SCRIPT --out OUT.wav [options]
int analyseCommand(const Args& args);   // analyse FILE...
int libraryCommand(const Args& args);   // library scan|search|export-history ...

}  // namespace kelvra::cli
