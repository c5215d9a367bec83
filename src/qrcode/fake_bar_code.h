// Pictures of byte matrices: each byte becomes one pixel through a fixed
// palette (0 white, 1 black, 2 mid grey, 3..255 black), drawn at an offset on a
// white picture. Knows nothing of QR Codes; the only part of the QR library
// that uses Qt.
#pragma once

#include "qrcode/qr_code.h"

#include <QImage>

#include <cstdint>
#include <optional>
#include <span>

namespace zarvex::qrcode::mdlFakeBarCode {

// A (width + left + extraWidth) x (height + top + extraHeight) picture, white,
// with the matrix (rows of `width` bytes, top row first) copied 1:1 to
// (left, top). Throws std::invalid_argument for negative sizes or offsets,
// std::out_of_range for a matrix shorter than width * height bytes, and
// std::overflow_error when the picture size does not fit 32 bits.
QImage RenderMatrix(std::span<const uint8_t> bits, int32_t width, int32_t height, int32_t left, int32_t top,
                    int32_t extraWidth, int32_t extraHeight);

// None for a null picture, the picture otherwise.
std::optional<QImage> PictureFromBitmap(QImage bitmap);

} // namespace zarvex::qrcode::mdlFakeBarCode

namespace zarvex::qrcode {

// The encoder's pipeline followed by rendering: one pixel per module, dark
// modules black, a white quiet zone of 4 modules on every side. Arguments and
// refusals as clsQRCode::EncodeToMatrix; none when there is no symbol.
std::optional<QImage> EncodeToPicture(clsQRCode& encoder, std::span<const uint8_t> data, int32_t length,
                                      int32_t version, int32_t level, int32_t mask);

// The picture of a finished symbol, as EncodeToPicture draws it.
QImage RenderSymbol(const QrMatrix& symbol);

} // namespace zarvex::qrcode
