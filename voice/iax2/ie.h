// Information elements: the payload of IAX command frames, a list of
// (id, length, data) triples. IeWriter builds one into a caller's buffer
// with every bound checked; IeList parses one without copying and refuses a
// payload whose lengths overrun it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace iax2 {

inline constexpr size_t kMaxIeData = 255;

class IeWriter {
public:
    IeWriter(uint8_t* buffer, size_t capacity) : buf_(buffer), cap_(capacity) {}

    // Each add returns false (and marks the writer failed) when the element
    // does not fit in the buffer or its data is longer than 255 bytes.
    bool addEmpty(uint8_t id);
    bool addRaw(uint8_t id, const void* data, size_t length);
    bool addString(uint8_t id, std::string_view text);
    bool addU8(uint8_t id, uint8_t value);
    bool addU16(uint8_t id, uint16_t value);
    bool addU32(uint8_t id, uint32_t value);

    size_t size() const { return len_; }
    const uint8_t* data() const { return buf_; }
    // False once any add failed.
    bool ok() const { return ok_; }

private:
    uint8_t* buf_;
    size_t cap_;
    size_t len_ = 0;
    bool ok_ = true;
};

struct Ie {
    uint8_t id = 0;
    uint8_t length = 0;
    const uint8_t* data = nullptr;
};

enum class IeStatus {
    Ok,
    Truncated,  // an element header or its data runs past the payload
    TooMany,    // more elements than one list holds
};

class IeList {
public:
    static constexpr size_t kCapacity = 128;

    // Parses payload; the list points into it, so it must outlive the list.
    IeStatus parse(const uint8_t* payload, size_t length);

    size_t count() const { return count_; }
    const Ie& at(size_t i) const { return items_[i]; }

    // First element with this id, or nullptr.
    const Ie* find(uint8_t id) const;
    bool has(uint8_t id) const { return find(id) != nullptr; }
    // The typed getters return nothing when the element is absent or its
    // length does not match the type.
    std::optional<std::string_view> string(uint8_t id) const;
    std::optional<uint8_t> u8(uint8_t id) const;
    std::optional<uint16_t> u16(uint8_t id) const;
    std::optional<uint32_t> u32(uint8_t id) const;
    // FORMAT2/CAPABILITY2: one version byte (0) and a 64-bit mask.
    std::optional<uint64_t> versionedU64(uint8_t id) const;

private:
    Ie items_[kCapacity];
    size_t count_ = 0;
};

// Copies a string element into a NUL-terminated buffer, cutting it to fit.
// Returns false (and writes "") when absent.
bool copyIeString(const IeList& ies, uint8_t id, char* out, size_t capacity);

}  // namespace iax2
