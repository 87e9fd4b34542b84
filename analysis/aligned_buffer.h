#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

// An array aligned for the widest vector registers, zeroed. FFTW runs a
// plan on new arrays only if they are aligned as the ones it was planned
// with; these are, without calling into FFTW, whose routines other than
// execution must not run on two threads at once.
template <typename T> class AlignedBuffer {
public:
    static constexpr std::size_t kAlignment = 64;

    explicit AlignedBuffer(std::size_t size) : size_(size) {
        const std::size_t bytes = (size * sizeof(T) + kAlignment - 1) / kAlignment * kAlignment;
        data_.reset(static_cast<T*>(std::aligned_alloc(kAlignment, bytes)));
        if (!data_) {
            throw std::bad_alloc();
        }
        std::uninitialized_value_construct_n(data_.get(), size);
    }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    T& operator[](std::size_t index) { return data_[index]; }
    const T& operator[](std::size_t index) const { return data_[index]; }

private:
    struct Free {
        void operator()(T* pointer) const { std::free(pointer); }
    };
    std::unique_ptr<T[], Free> data_;
    std::size_t size_;
};
