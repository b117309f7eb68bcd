#pragma once
// Framework objects built by the probe in storage four times the size the plug-in's headers
// give them, filled with a pattern first: a framework whose object is larger cannot overrun
// it, and the bytes its constructor wrote past that size show that it is larger.
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace frameworkprobe {

template <class T> class Roomy {
public:
    static constexpr std::size_t kRoom = 4 * sizeof(T);

    template <class... Args>
    explicit Roomy(unsigned char pattern, Args&&... args)
        : fill(pattern), bytes(new unsigned char[kRoom]) {
        std::memset(bytes, fill, kRoom);
        object = new (bytes) T(std::forward<Args>(args)...);
    }
    ~Roomy() {
        if (object == nullptr)
            return; // left to a thread that may still use it
        // Through the virtual destructor, as the framework's own objects are destroyed: the
        // probe then needs no destructor the plug-in does not.
        T* volatile built = object;
        built->~T();
        delete[] bytes;
    }
    Roomy(Roomy&& other) noexcept : fill(other.fill), bytes(other.bytes), object(other.object) {
        other.bytes = nullptr;
        other.object = nullptr;
    }
    Roomy(const Roomy&) = delete;
    Roomy& operator=(const Roomy&) = delete;
    Roomy& operator=(Roomy&&) = delete;

    T* get() const { return object; }
    T* operator->() const { return object; }
    // Leaves the object alive for good: a blocked thread may still hold or use it.
    void abandon() { object = nullptr; }

    // One past the last byte the constructor changed from the pattern (0: none).
    std::size_t footprint() const {
        for (std::size_t end = kRoom; end > 0; --end)
            if (bytes[end - 1] != fill)
                return end;
        return 0;
    }

private:
    unsigned char fill;
    unsigned char* bytes;
    T* object = nullptr;
};

} // namespace frameworkprobe
