// Title reading on the UI thread, a few titles per timer tick, so the window keeps drawing and
// answering between chunks.
#include <deque>

#include "core/Clock.h"
#include "playlist/TitleService.h"

namespace kelvra::playlist {
namespace {

class ChunkedTitleService final : public TitleService {
  public:
    ChunkedTitleService(Clock& clock, TitleReader reader, int titlesPerTick)
        : reader_(std::move(reader)),
          titlesPerTick_(titlesPerTick > 0 ? titlesPerTick : 1),
          timer_(clock.createTimer()) {
        timer_->setInterval(1);
        timer_->setOnTick([this] { tick(); });
    }

    void setSink(Sink sink) override { sink_ = std::move(sink); }

    void request(std::vector<TitleRequest> requests) override {
        for (TitleRequest& request : requests)
            queue_.push_back(std::move(request));
        if (!queue_.empty()) timer_->setEnabled(true);
    }

    void cancelAll() override {
        queue_.clear();
        timer_->setEnabled(false);
    }

  private:
    void tick() {
        std::vector<TitleResult> results;
        while (!queue_.empty() && static_cast<int>(results.size()) < titlesPerTick_) {
            TitleRequest request = std::move(queue_.front());
            queue_.pop_front();
            results.push_back({request.id, reader_(request.path)});
        }
        if (queue_.empty()) timer_->setEnabled(false);
        // The sink may queue more work or cancel; both are safe here since the chunk is taken.
        if (sink_ && !results.empty()) sink_(std::move(results));
    }

    TitleReader reader_;
    int titlesPerTick_;
    std::unique_ptr<Timer> timer_;
    std::deque<TitleRequest> queue_;
    Sink sink_;
};

}  // namespace

std::unique_ptr<TitleService> makeChunkedTitleService(Clock& clock, TitleReader reader,
                                                      int titlesPerTick) {
    return std::make_unique<ChunkedTitleService>(clock, std::move(reader), titlesPerTick);
}

}  // namespace kelvra::playlist
