#pragma once
// First-in-first-out queue over a flat ring buffer with a caller-chosen initial capacity and
// growth step: the floods push millions of voxels and must not allocate per element.
//
// The ring is never left full: a push that fills it grows it at once, so at most capacity - 1
// elements are held between operations.  Emptiness is head == tail; callers may empty the queue
// by setting head = tail = 0.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

// A voxel of a flood: its coordinates and its linear index.
struct TQueueVoxel {
  int x = 0, y = 0, z = 0, idx = 0;
  TQueueVoxel() = default;
  TQueueVoxel(int x_, int y_, int z_, int i_) : x(x_), y(y_), z(z_), idx(i_) {}
};

template <class T>
class TQueue {
  static_assert(std::is_trivially_copyable<T>::value, "TQueue holds plain values");

 public:
  TQueue(int step, int initialCapacity) {
    std::fprintf(stderr, "TQueue standard constractor\n");
    this->step = step < 1 ? 1 : step;
    capacity = initialCapacity < 2 ? 2 : initialCapacity;
    buffer = allocate(static_cast<std::size_t>(capacity));
    head = tail = 0;
  }
  ~TQueue() { std::free(buffer); }
  TQueue(const TQueue&) = delete;
  TQueue& operator=(const TQueue&) = delete;

  void push(const T& x) {
    buffer[tail] = x;
    if (++tail == capacity) tail = 0;
    if (tail == head) grow();
  }
  void pushFront(const T& x) {
    head = head == 0 ? capacity - 1 : head - 1;
    buffer[head] = x;
    if (head == tail) grow();
  }
  T pop() {
    T v = buffer[head];
    if (++head == capacity) head = 0;
    return v;
  }
  bool isEmpty() const { return head == tail; }
  // Number of elements held.
  int size() const { return tail >= head ? tail - head : capacity - head + tail; }
  void clear() { head = tail = 0; }

  int step = 0;
  int capacity = 0;
  int tail = 0;
  int head = 0;
  T* buffer = nullptr;

 private:
  // Voxel records start zeroed; pointers and indices are left as they come.
  static T* allocate(std::size_t n) {
    void* p = std::is_same<T, TQueueVoxel>::value ? std::calloc(n, sizeof(T)) : std::malloc(n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  // Called only when the ring is exactly full (head == tail after a push).
  void grow() {
    std::fprintf(stderr, "*");
    const std::int64_t newCap64 = static_cast<std::int64_t>(capacity) + step;
    if (newCap64 > INT32_MAX) throw std::bad_alloc();
    const int newCap = static_cast<int>(newCap64);
    T* nb = allocate(static_cast<std::size_t>(newCap));
    const int first = capacity - head;
    std::memcpy(static_cast<void*>(nb), buffer + head, sizeof(T) * first);
    std::memcpy(static_cast<void*>(nb + first), buffer, sizeof(T) * tail);
    std::free(buffer);
    buffer = nb;
    head = 0;
    tail = capacity;
    capacity = newCap;
  }
};
