// Error-correction blocks and interleaving: the data codewords are split into
// the blocks of the symbol's version and level, each block gets its
// Reed-Solomon codewords, and everything is written in the interleaved order
// of the standard, codeword by codeword across the blocks.
#include "qrcode/qr_code.h"
#include "qrcode/qr_bits.h"

#include <array>

namespace zarvex::qrcode {

namespace {

// Both buffers were checked to hold every codeword touched here.
int32_t ReadCodeword(std::span<const uint8_t> bits, int32_t index)
{
    return static_cast<int32_t>(bits::LoadCodeword(bits.data() + static_cast<ptrdiff_t>(8) * index));
}

void WriteCodeword(std::span<uint8_t> out, int32_t position, int32_t value)
{
    bits::StoreCodeword(out.data() + static_cast<ptrdiff_t>(8) * position, static_cast<unsigned>(value));
}

} // namespace

void clsQRCode::InterleaveBlocks(std::span<const uint8_t> dataBits, std::span<uint8_t> codewordBits,
                                 int32_t version, int32_t level)
{
    const int32_t blocks = EccBlockCount(version, level);
    const int32_t ecc = EccCodewordsPerBlock(version, level);
    const int32_t data = CodewordCount(version) - blocks * ecc;
    // Long blocks carry `longLength` data codewords, the first `shortBlocks` blocks one fewer.
    const int32_t longLength = (data + blocks - 1) / blocks;
    const int32_t shortBlocks = data % blocks == 0 ? 0 : blocks - data % blocks;
    if (static_cast<int64_t>(codewordBits.size()) < 8 * int64_t{CodewordCount(version)}
        || static_cast<int64_t>(dataBits.size()) < 8 * int64_t{data})
        throw std::out_of_range("clsQRCode::InterleaveBlocks: bit buffer too small");

    // One generator polynomial per symbol, shared by all its blocks. A short
    // block is encoded with the long geometry and a leading zero, which leaves
    // its check codewords unchanged.
    if (!coder_)
        coder_ = std::make_unique<ecc::clsReedSolomon>();
    coder_->InitCoder(longLength, ecc, field_, 0, 0);

    // The largest block of any version and level has 153 codewords.
    std::array<int32_t, 256> work{};
    const int32_t top = longLength + ecc - 1;
    int32_t next = 0; // next data codeword to take, in message order
    for (int32_t h = 0; h < blocks; ++h) {
        const bool isShort = h < shortBlocks;
        const int32_t k = isShort ? longLength - 1 : longLength;
        const int32_t t = top - (isShort ? 1 : 0);
        work[static_cast<size_t>(top)] = 0;
        for (int32_t j = 0; j < k; ++j) {
            const int32_t w = ReadCodeword(dataBits, next++);
            // Column j of the interleave; in the last column only long blocks take part.
            const int32_t position = j < longLength - 1 ? j * blocks + h : (longLength - 1) * blocks + (h - shortBlocks);
            WriteCodeword(codewordBits, position, w);
            work[static_cast<size_t>(t - j)] = w;
        }
        coder_->Encode(work);
        for (int32_t m = 0; m < ecc; ++m)
            WriteCodeword(codewordBits, data + m * blocks + h, work[static_cast<size_t>(ecc - 1 - m)]);
    }
}

} // namespace zarvex::qrcode
