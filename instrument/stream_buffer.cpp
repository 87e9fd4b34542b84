#include "stream_buffer.h"

#include <utility>

void StreamBuffer::take(std::span<const std::uint8_t> samples) {
    if (samples.empty()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        if (held_ + samples.size() > capacity_) {
            dropped_ += samples.size();
        } else {
            held_ += samples.size();
            pieces_.push_back({{samples.begin(), samples.end()},
                               0,
                               Clock::now(),
                               std::chrono::system_clock::now()});
            changed_.notify_one();
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
    changed_.notify_one();
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
    return waiting;
}
