// A fixed-size ring of the data bytes a network serial device decoded and no one has taken yet.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

class ByteRing {
  public:
    void Reset(int capacity) {
        storage_.assign(static_cast<size_t>(capacity), 0);
        head_ = 0;
        size_ = 0;
    }
    int Size() const { return size_; }
    int Room() const { return static_cast<int>(storage_.size()) - size_; }
    void Clear() { head_ = size_ = 0; }
    // Stores what fits; the rest is lost, as on a device whose input queue overflows.
    void Push(const uint8_t* data, int count) {
        const int capacity = static_cast<int>(storage_.size());
        for (int i = 0; i < count && size_ < capacity; ++i) {
            storage_[static_cast<size_t>((head_ + size_) % capacity)] = data[i];
            ++size_;
        }
    }
    int Pop(uint8_t* out, int maxCount) {
        const int capacity = static_cast<int>(storage_.size());
        const int count = std::min(maxCount, size_);
        for (int i = 0; i < count; ++i) {
            out[i] = storage_[static_cast<size_t>(head_)];
            head_ = (head_ + 1) % capacity;
        }
        size_ -= count;
        return count;
    }

  private:
    std::vector<uint8_t> storage_;
    int head_ = 0;
    int size_ = 0;
};
