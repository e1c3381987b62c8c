#include "voice/iax2/ie.h"

#include <cstring>

namespace iax2 {

bool IeWriter::addRaw(uint8_t id, const void* data, size_t length) {
    if (!ok_ || length > kMaxIeData || len_ + 2 + length > cap_ || (length > 0 && data == nullptr)) {
        ok_ = false;
        return false;
    }
    buf_[len_] = id;
    buf_[len_ + 1] = static_cast<uint8_t>(length);
    if (length > 0) std::memcpy(buf_ + len_ + 2, data, length);
    len_ += 2 + length;
    return true;
}

bool IeWriter::addEmpty(uint8_t id) {
    return addRaw(id, nullptr, 0);
}

bool IeWriter::addString(uint8_t id, std::string_view text) {
    return addRaw(id, text.data(), text.size());
}

bool IeWriter::addU8(uint8_t id, uint8_t value) {
    return addRaw(id, &value, 1);
}

bool IeWriter::addU16(uint8_t id, uint16_t value) {
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return addRaw(id, b, sizeof b);
}

bool IeWriter::addU32(uint8_t id, uint32_t value) {
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return addRaw(id, b, sizeof b);
}

IeStatus IeList::parse(const uint8_t* payload, size_t length) {
    count_ = 0;
    size_t pos = 0;
    while (pos < length) {
        if (length - pos < 2) return IeStatus::Truncated;
        const uint8_t id = payload[pos];
        const uint8_t len = payload[pos + 1];
        if (length - pos - 2 < len) return IeStatus::Truncated;
        if (count_ == kCapacity) return IeStatus::TooMany;
        items_[count_++] = Ie{id, len, payload + pos + 2};
        pos += 2 + static_cast<size_t>(len);
    }
    return IeStatus::Ok;
}

const Ie* IeList::find(uint8_t id) const {
    for (size_t i = 0; i < count_; ++i)
        if (items_[i].id == id) return &items_[i];
    return nullptr;
}

std::optional<std::string_view> IeList::string(uint8_t id) const {
    const Ie* e = find(id);
    if (!e) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(e->data), e->length);
}

std::optional<uint8_t> IeList::u8(uint8_t id) const {
    const Ie* e = find(id);
    if (!e || e->length != 1) return std::nullopt;
    return e->data[0];
}

std::optional<uint16_t> IeList::u16(uint8_t id) const {
    const Ie* e = find(id);
    if (!e || e->length != 2) return std::nullopt;
    return static_cast<uint16_t>((e->data[0] << 8) | e->data[1]);
}

std::optional<uint32_t> IeList::u32(uint8_t id) const {
    const Ie* e = find(id);
    if (!e || e->length != 4) return std::nullopt;
    return (static_cast<uint32_t>(e->data[0]) << 24) | (static_cast<uint32_t>(e->data[1]) << 16) |
           (static_cast<uint32_t>(e->data[2]) << 8) | e->data[3];
}

std::optional<uint64_t> IeList::versionedU64(uint8_t id) const {
    const Ie* e = find(id);
    if (!e || e->length != 9 || e->data[0] != 0) return std::nullopt;
    uint64_t v = 0;
    for (int i = 1; i < 9; ++i) v = (v << 8) | e->data[i];
    return v;
}

bool copyIeString(const IeList& ies, uint8_t id, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    const auto s = ies.string(id);
    if (!s) return false;
    size_t n = s->size() < capacity - 1 ? s->size() : capacity - 1;
    // An embedded NUL ends the text, as it would for the peer.
    const void* nul = std::memchr(s->data(), '\0', n);
    if (nul) n = static_cast<size_t>(static_cast<const char*>(nul) - s->data());
    std::memcpy(out, s->data(), n);
    out[n] = '\0';
    return true;
}

}  // namespace iax2
