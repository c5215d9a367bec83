// Moving codewords in and out of the encoder's bit buffers, which hold one
// bit per byte (0 or 1), most significant bit first, eight bytes at a time.
#pragma once

#include <array>
#include <cstdint>
#include <bit>
#include <cstring>

namespace zarvex::qrcode::bits {

// The 8 bytes of a codeword's bits, as they lie in memory (little-endian word).
constexpr std::array<uint64_t, 256> MakeExpandTable()
{
    std::array<uint64_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v)
        for (unsigned k = 0; k < 8; ++k)
            t[v] |= uint64_t{(v >> (7 - k)) & 1u} << (8 * k);
    return t;
}
inline constexpr std::array<uint64_t, 256> kExpand = MakeExpandTable();

// Writes the 8 bits of `value` to out[0..7].
inline void StoreCodeword(uint8_t* out, unsigned value)
{
    static_assert(std::endian::native == std::endian::little);
    std::memcpy(out, &kExpand[value & 0xFF], 8);
}

// Reads 8 bit-bytes (each 0 or 1) back into a codeword. Multiplying by
// 0x8040201008040201 moves byte k's bit to bit 63 - k; no two partial products
// share a bit below bit 56, so nothing carries into the top byte.
inline unsigned LoadCodeword(const uint8_t* in)
{
    uint64_t x;
    std::memcpy(&x, in, 8);
    return static_cast<unsigned>((x * 0x8040201008040201ULL) >> 56);
}

} // namespace zarvex::qrcode::bits
