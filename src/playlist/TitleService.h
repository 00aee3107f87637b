// Display titles of playlist entries, read away from the commands that add or reorder entries.
// Reading a title means opening the file and its tags, which is far too slow to do for thousands
// of entries while the window waits; so commands append entries at once with a placeholder and
// ask a title service for the real titles, which arrive later in batches.
//
// Threads: request(), cancelAll() and the sink run on the UI thread. Where the reading itself
// happens is the implementation's business.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace kelvra {
class Clock;
}

namespace kelvra::playlist {

// Reads the display title of one file (in production: the tags' getID3_tag).
using TitleReader = std::function<QString(const QString& path)>;
// Makes a reader for the calling thread. A reader may hold state that is not thread-safe (an
// audio library instance, for one), so every reading thread asks for its own.
using TitleReaderFactory = std::function<TitleReader()>;

using EntryId = std::uint64_t;

struct TitleRequest {
    EntryId id;
    QString path;
};

struct TitleResult {
    EntryId id;
    QString title;
};

class TitleService {
  public:
    using Sink = std::function<void(std::vector<TitleResult>)>;

    virtual ~TitleService() = default;
    // Where results go; called on the UI thread, in batches, never from inside request().
    virtual void setSink(Sink sink) = 0;
    // Queues titles to read, in the order given (the top of the list first).
    virtual void request(std::vector<TitleRequest> requests) = 0;
    // Drops everything queued; batches already read but not yet delivered are dropped too.
    virtual void cancelAll() = 0;
};

// Reads in small chunks from timer ticks on the UI thread: deterministic under a virtual clock,
// and usable with a reader that must stay on the UI thread.
std::unique_ptr<TitleService> makeChunkedTitleService(Clock& clock, TitleReader reader,
                                                      int titlesPerTick = 50);

// Reads on `threads` worker threads, each with its own reader from `factory`; batches are
// delivered through the Qt event loop of the thread that created the service.
std::unique_ptr<TitleService> makeThreadedTitleService(TitleReaderFactory factory, int threads);
// One core fewer than the machine has (at least one): reading every core flat out starves the
// UI thread on a small machine, and the window stutters while titles arrive.
int defaultTitleThreads();

}  // namespace kelvra::playlist
