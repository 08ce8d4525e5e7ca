// A contiguous list of Ref pointers that retains what it holds.
#pragma once
#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {

template <class T>
class Vector {
    static_assert(std::is_convertible<T, Ref*>::value, "kite::Vector holds Ref pointers only");

public:
    using iterator = typename std::vector<T>::iterator;
    using const_iterator = typename std::vector<T>::const_iterator;

    Vector() = default;
    explicit Vector(std::size_t capacity) { data_.reserve(capacity); }
    Vector(const Vector& other) : data_(other.data_) { retainAll(); }
    Vector(Vector&& other) noexcept : data_(std::move(other.data_)) {}
    ~Vector() { clear(); }

    Vector& operator=(const Vector& other) {
        if (this != &other) {
            Vector copy(other);
            swap(copy);
        }
        return *this;
    }
    Vector& operator=(Vector&& other) noexcept {
        if (this != &other) {
            clear();
            data_ = std::move(other.data_);
        }
        return *this;
    }
    void swap(Vector& other) noexcept { data_.swap(other.data_); }

    iterator begin() { return data_.begin(); }
    iterator end() { return data_.end(); }
    const_iterator begin() const { return data_.begin(); }
    const_iterator end() const { return data_.end(); }

    std::size_t size() const { return data_.size(); }
    std::size_t capacity() const { return data_.capacity(); }
    bool empty() const { return data_.empty(); }
    void reserve(std::size_t n) { data_.reserve(n); }

    T at(std::size_t index) const { return data_.at(index); }
    T front() const { return data_.front(); }
    T back() const { return data_.back(); }
    const std::vector<T>& data() const { return data_; }

    // -1 when absent.
    long getIndex(T object) const {
        auto it = std::find(data_.begin(), data_.end(), object);
        return it == data_.end() ? -1 : static_cast<long>(it - data_.begin());
    }
    bool contains(T object) const { return getIndex(object) >= 0; }

    void pushBack(T object) {
        data_.push_back(object);
        object->retain();
    }
    void pushBack(const Vector& other) {
        // A copy of the list: other may be this vector, which grows meanwhile.
        const std::vector<T> objects = other.data_;
        for (T object : objects) pushBack(object);
    }
    void insert(std::size_t index, T object) {
        data_.insert(data_.begin() + static_cast<std::ptrdiff_t>(index), object);
        object->retain();
    }
    void replace(std::size_t index, T object) {
        object->retain();
        data_[index]->release();
        data_[index] = object;
    }

    void popBack() {
        T last = data_.back();
        data_.pop_back();
        last->release();
    }
    iterator erase(iterator position) {
        T object = *position;
        iterator next = data_.erase(position);
        object->release();
        return next;
    }
    void erase(std::size_t index) { erase(data_.begin() + static_cast<std::ptrdiff_t>(index)); }
    // Removes the first occurrence, or every one when removeAll is set.
    void eraseObject(T object, bool removeAll = false) {
        for (auto it = data_.begin(); it != data_.end();) {
            if (*it == object) {
                it = erase(it);
                if (!removeAll) return;
            } else {
                ++it;
            }
        }
    }

    // Releases every element from the first to the last; the capacity stays.
    void clear() {
        std::vector<T> old;
        old.swap(data_);
        for (T object : old) object->release();
        // Keep the capacity unless a destructor pushed new elements meanwhile.
        if (data_.empty()) {
            old.clear();
            data_.swap(old);
        }
    }

    void reverse() { std::reverse(data_.begin(), data_.end()); }

private:
    void retainAll() {
        for (T object : data_) object->retain();
    }

    std::vector<T> data_;
};

}  // namespace kite
