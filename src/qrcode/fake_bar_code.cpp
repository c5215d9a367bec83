#include "qrcode/fake_bar_code.h"

#include <cstring>
#include <stdexcept>

namespace zarvex::qrcode::mdlFakeBarCode {

namespace {

QList<QRgb> Palette()
{
    // 0 light module, 1 dark module, 2 a module still marked reserved (grey,
    // visible if a matrix is drawn before it is finished), the rest black.
    QList<QRgb> palette(256, qRgb(0, 0, 0));
    palette[0] = qRgb(255, 255, 255);
    palette[2] = qRgb(128, 128, 128);
    return palette;
}

int32_t CheckedSum(int32_t a, int32_t b, int32_t c)
{
    const int64_t sum = int64_t{a} + b + c;
    if (sum > INT32_MAX)
        throw std::overflow_error("RenderMatrix: picture size overflows");
    return static_cast<int32_t>(sum);
}

} // namespace

QImage RenderMatrix(std::span<const uint8_t> bits, int32_t width, int32_t height, int32_t left, int32_t top,
                    int32_t extraWidth, int32_t extraHeight)
{
    if (width < 0 || height < 0 || left < 0 || top < 0 || extraWidth < 0 || extraHeight < 0)
        throw std::invalid_argument("RenderMatrix: negative size or offset");
    if (static_cast<int64_t>(bits.size()) < int64_t{width} * height)
        throw std::out_of_range("RenderMatrix: matrix shorter than width * height");
    const int32_t pictureWidth = CheckedSum(width, left, extraWidth);
    const int32_t pictureHeight = CheckedSum(height, top, extraHeight);

    // An indexed picture: every matrix byte is its own palette index, so the
    // copy is a plain row copy, top row first.
    QImage picture(pictureWidth, pictureHeight, QImage::Format_Indexed8);
    if (picture.isNull())
        return picture; // too large to allocate
    picture.setColorTable(Palette());
    picture.fill(0u);
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(picture.scanLine(top + y) + left, bits.data() + static_cast<ptrdiff_t>(y) * width,
                    static_cast<size_t>(width));
    }
    return picture;
}

std::optional<QImage> PictureFromBitmap(QImage bitmap)
{
    if (bitmap.isNull())
        return std::nullopt;
    return bitmap;
}

} // namespace zarvex::qrcode::mdlFakeBarCode

namespace zarvex::qrcode {

QImage RenderSymbol(const QrMatrix& symbol)
{
    // The matrix is size + 3 wide with its extra columns and rows light, so
    // offsets 4 and one extra pixel give the 4-module quiet zone on all sides.
    const int32_t stride = symbol.Stride();
    return mdlFakeBarCode::RenderMatrix(symbol.modules, stride, stride, 4, 4, 1, 1);
}

std::optional<QImage> EncodeToPicture(clsQRCode& encoder, std::span<const uint8_t> data, int32_t length,
                                      int32_t version, int32_t level, int32_t mask)
{
    const std::optional<QrMatrix> symbol = encoder.EncodeToMatrix(data, length, version, level, mask);
    if (!symbol)
        return std::nullopt;
    return mdlFakeBarCode::PictureFromBitmap(RenderSymbol(*symbol));
}

} // namespace zarvex::qrcode
