// A list that keeps its first N items in place and goes to the heap only
// beyond them, for the lists a run makes once per element (its attributes,
// what each of them was found to be): nearly every element has a handful,
// and a heap allocation each would cost more than the work on them. The
// items stand one after another either way (data()).
#pragma once

#include <cstddef>
#include <vector>

namespace varnel {

template <typename T, size_t N> class ShortList {
  public:
    ShortList() = default;
    ShortList(const ShortList&) = delete;
    ShortList& operator=(const ShortList&) = delete;

    void push_back(T item) {
        if (size_ < N) {
            few_[size_++] = item;
            return;
        }
        if (size_ == N) many_.assign(few_, few_ + N);
        many_.push_back(item);
        ++size_;
    }
    // Makes the list `count` copies of `item`.
    void assign(size_t count, T item) {
        size_ = 0;
        many_.clear();
        for (size_t i = 0; i < count; ++i)
            push_back(item);
    }

    size_t size() const { return size_; }
    T* data() { return size_ <= N ? few_ : many_.data(); }
    const T* data() const { return size_ <= N ? few_ : many_.data(); }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }

  private:
    T few_[N];
    std::vector<T> many_;
    size_t size_ = 0;
};

} // namespace varnel
