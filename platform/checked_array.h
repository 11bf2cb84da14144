// Fixed-size arrays whose every access checks its index and raises the
// "Subscript out of range" run-time error (9) before anything is read or
// written, so that an index from a file or the network can never reach
// memory outside the record.
#pragma once

#include <array>
#include <cstddef>

#include "platform/runtime.h"

namespace rt {

template <typename T, int N>
class Array {
  public:
    static constexpr int Size = N;

    T& operator[](int i) { return v_[Index(i)]; }
    const T& operator[](int i) const { return v_[Index(i)]; }
    T& operator()(int i) { return v_[Index(i)]; }
    const T& operator()(int i) const { return v_[Index(i)]; }

    static bool InRange(int i) { return i >= 0 && i < N; }
    static void Check(int i) {
        if (!InRange(i)) Raise(ErrSubscriptOutOfRange);
    }

    auto begin() { return v_.begin(); }
    auto end() { return v_.end(); }
    auto begin() const { return v_.begin(); }
    auto end() const { return v_.end(); }

    bool operator==(const Array&) const = default;

  private:
    static size_t Index(int i) {
        Check(i);
        return static_cast<size_t>(i);
    }
    std::array<T, N> v_{};
};

// Two-dimensional array indexed (i, j), both checked before the access.
template <typename T, int N1, int N2>
class Array2 {
  public:
    static constexpr int Size1 = N1;
    static constexpr int Size2 = N2;

    T& operator()(int i, int j) { return v_[Index(i, j)]; }
    const T& operator()(int i, int j) const { return v_[Index(i, j)]; }

    static bool InRange(int i, int j) { return i >= 0 && i < N1 && j >= 0 && j < N2; }

    bool operator==(const Array2&) const = default;

  private:
    static size_t Index(int i, int j) {
        if (!InRange(i, j)) Raise(ErrSubscriptOutOfRange);
        return static_cast<size_t>(i) * N2 + static_cast<size_t>(j);
    }
    std::array<T, static_cast<size_t>(N1) * N2> v_{};
};

}  // namespace rt
