// QR Code encoder (ISO/IEC 18004, Model 2, versions 1-40, levels L/M/Q/H).
//
// Bytes go in, a finished module matrix comes out: the data are segmented into
// numeric, alphanumeric, byte and Kanji segments, padded, split into
// Reed-Solomon blocks, interleaved, placed and masked with the caller's mask,
// and the BCH-coded format and version information is written. The mask with
// the lowest penalty score can be chosen afterwards (BestMask, Remask) or in
// one call (EncodeWithBestMask). No ECI, Structured Append or FNC1 header is ever
// written, so a reader must assume the byte encoding the caller used.
//
// Plain C++; rendering to a picture lives in fake_bar_code.h.
#pragma once

#include "ecc/finite_field.h"
#include "ecc/reed_solomon.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace zarvex::qrcode {

// Error-correction levels as the encoder numbers them.
enum Level : int32_t { kLevelL = 1, kLevelM = 2, kLevelQ = 3, kLevelH = 4 };

// A finished symbol: a square byte matrix indexed (x, y), x the column from the
// left, y the row from the top, x varying fastest; 1 dark, 0 light. Rows are
// Stride() = size + 3 bytes long (a multiple of 4, so the matrix is a valid
// 8-bit image row layout); the three extra columns and rows stay 0.
struct QrMatrix {
    int32_t version = 0;
    int32_t level = 0;
    int32_t mask = 0; // the mask actually used
    int32_t size = 0; // modules per side
    std::vector<uint8_t> modules;

    int32_t Stride() const { return size + 3; }
    bool Dark(int32_t x, int32_t y) const
    {
        return modules[static_cast<size_t>(y) * static_cast<size_t>(Stride()) + static_cast<size_t>(x)] != 0;
    }
};

class clsQRCode {
public:
    // Bit buffers hold one bit per byte; no symbol needs more.
    static constexpr int32_t kBitBufferSize = 32768;

    clsQRCode();

    // The whole pipeline. data: the message; only its first `length` bytes are
    // read (length <= 0 encodes an empty message; a length larger than the
    // array throws std::out_of_range). version: 1..40 that version; 0 or above
    // 40 the smallest that holds the data; negative no symbol. level: 1..4 for
    // L, M, Q, H, anything else M. mask: 0..7, anything else 0.
    // Returns no symbol when the data do not fit.
    std::optional<QrMatrix> EncodeToMatrix(std::span<const uint8_t> data, int32_t length, int32_t version,
                                           int32_t level, int32_t mask);
    // As EncodeToMatrix, with the mask of the lowest penalty (BestMask).
    std::optional<QrMatrix> EncodeWithBestMask(std::span<const uint8_t> data, int32_t length, int32_t version,
                                               int32_t level);

    // --- Mask choice (ISO/IEC 18004:2015, 7.8.3) ---
    // The penalty score (N1 + N2 + N3 + N4) each of the eight masks would give
    // this finished symbol, its format information included. Throws
    // std::invalid_argument for a matrix that is not a finished symbol.
    static std::array<int32_t, 8> MaskPenalties(const QrMatrix& symbol);
    // The mask of the lowest penalty; of equal ones the lowest number.
    static int32_t BestMask(const QrMatrix& symbol);
    // Switches a finished symbol to mask 0..7 (data modules and format
    // information); throws as MaskPenalties does for anything else.
    static void Remask(QrMatrix& symbol, int32_t mask);

    // --- Geometry and constant tables (versions 1..40, levels 1..4) ---
    static int32_t SymbolSize(int32_t version) { return 4 * version + 17; }
    static int32_t AlignmentCount(int32_t version);
    // Modules left for codewords once function patterns and format/version areas are taken.
    static int32_t DataModuleCount(int32_t version);
    static int32_t CodewordCount(int32_t version) { return DataModuleCount(version) / 8; }
    // value * x^degree mod generator(x), generator's bit `degree` set, top = 2^degree.
    static int32_t BchRemainder(int32_t value, int32_t generator, int32_t top, int32_t degree);
    static int32_t AlignmentStep(int32_t version);
    static int32_t EccBlockCount(int32_t version, int32_t level);
    static int32_t EccCodewordsPerBlock(int32_t version, int32_t level);
    static int32_t DataCodewordCount(int32_t version, int32_t level)
    {
        return CodewordCount(version) - EccBlockCount(version, level) * EccCodewordsPerBlock(version, level);
    }

    // --- Segmentation and bit stream ---
    static int32_t CharClass(uint8_t b);   // 1 digit, 2 other alphanumeric, 0 anything else
    static int32_t AlnumValue(uint8_t b);  // 0..44, 0 for bytes outside the set
    static bool IsKanjiPair(uint8_t first, uint8_t second);

    // Segments `length` bytes of data for the version's group (1-9, 10-26,
    // 27-40) and returns the stream's length in bits with the 4-bit terminator.
    // Writing (measureOnly false) fills bits from index 0, and throws
    // std::out_of_range, writing nothing, when the stream would not fit `bits`.
    // Measuring writes nothing (except the 4-bit empty stream for length <= 0).
    int32_t MakeBitStream(std::span<uint8_t> bits, std::span<const uint8_t> data, int32_t length,
                          int32_t version, bool measureOnly) const;

    // --- Pipeline stages, public so that each can be checked on its own ---

    // Smallest version 1..40 whose data capacity holds the data, or 0.
    int32_t ChooseVersion(std::span<uint8_t> bits, std::span<const uint8_t> data, int32_t length,
                          int32_t level) const;
    // Terminator truncation, bit padding and pad codewords up to 8*dataCodewords bits.
    static void CompleteDataBits(std::span<uint8_t> bits, int32_t streamLength, int32_t dataCodewords);
    // Blocks, Reed-Solomon codewords and interleaving from dataBits into codewordBits.
    void InterleaveBlocks(std::span<const uint8_t> dataBits, std::span<uint8_t> codewordBits, int32_t version,
                          int32_t level);
    // Function patterns into a matrix with the given row stride (>= size).
    static void DrawFunctionPatterns(std::span<uint8_t> matrix, int32_t stride, int32_t version);
    // Codeword bits into the free modules of the function matrix, zig-zag from bottom right.
    static void PlaceCodewords(std::span<const uint8_t> functionMatrix, int32_t stride,
                               std::span<uint8_t> dataMatrix, int32_t size,
                               std::span<const uint8_t> codewordBits, int32_t bitCount);
    // Inverts the modules of mask pattern `mask` (0 for anything outside 0..7); returns the mask used.
    static int32_t ApplyMask(std::span<uint8_t> matrix, int32_t size, int32_t mask);
    static void WriteVersionInformation(std::span<uint8_t> matrix, int32_t stride, int32_t version);
    static void WriteFormatInformation(std::span<uint8_t> matrix, int32_t stride, int32_t size, int32_t level,
                                       int32_t mask);

private:
    std::shared_ptr<ecc::clsFiniteField> field_;
    std::unique_ptr<ecc::clsReedSolomon> coder_; // created on first use, kept
};

} // namespace zarvex::qrcode
