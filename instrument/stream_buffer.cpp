#include "stream_buffer.h"

#include <utility>

namespace {

// How long a recording waits at most between looks at whether it should stop.
constexpr std::chrono::milliseconds kRoomPoll{50};

} // namespace

bool StreamBuffer::roomFor(std::size_t count) const {
    return held_ == 0 || held_ + count <= capacity_;
}

void StreamBuffer::take(std::span<const std::uint8_t> samples) {
    if (samples.empty()) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        while (waitsForRoom_ && !roomFor(samples.size()) && !stopping_) {
            changed_.wait_for(lock, kRoomPoll);
        }
        if (stopping_ && waitsForRoom_) {
            return;
        }
        if (!roomFor(samples.size())) {
            dropped_ += samples.size();
        } else {
            held_ += samples.size();
            pieces_.push_back({{samples.begin(), samples.end()},
                               0,
                               Clock::now(),
                               std::chrono::system_clock::now()});
            changed_.notify_all();
            return;
        }
    }
    lose(samples.size());
}

void StreamBuffer::lose(std::uint64_t count) {
    const std::lock_guard lock(mutex_);
    // Losses in a row are one gap.
    if (!pieces_.empty() && pieces_.back().samples.empty()) {
        pieces_.back().lost += count;
    } else {
        pieces_.push_back({{}, count, Clock::now(), std::chrono::system_clock::now()});
    }
    changed_.notify_all();
}

void StreamBuffer::stop() {
    stopping_ = true;
    const std::lock_guard lock(mutex_);
    changed_.notify_all();
}

std::vector<StreamBuffer::Piece> StreamBuffer::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return !pieces_.empty() || stopping_; });
    std::vector<Piece> waiting(std::make_move_iterator(pieces_.begin()),
                               std::make_move_iterator(pieces_.end()));
    pieces_.clear();
    held_ = 0;
    changed_.notify_all(); // a recording waits for the room
    return waiting;
}
