#include "support/qr_readers.h"

#include <qrcodegen/qrcodegen.hpp>
#include <qrencode.h>
#include <zbar.h>
#include <ZXing/ReadBarcode.h>

#include <memory>
#include <stdexcept>

// Exported by Debian's libqrencode but not declared in its header: encodes
// with a fixed mask instead of the penalty-chosen one.
extern "C" QRcode* QRcode_encodeMask(QRinput* input, int mask);

namespace zarvex::test {

QImage Enlarge(const QImage& picture, int scale)
{
    return picture.convertToFormat(QImage::Format_Grayscale8)
        .scaled(picture.width() * scale, picture.height() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

namespace {

// Rows of a Grayscale8 image without the padding QImage may add.
std::vector<uint8_t> Pixels(const QImage& grey)
{
    std::vector<uint8_t> out(static_cast<size_t>(grey.width()) * static_cast<size_t>(grey.height()));
    for (int y = 0; y < grey.height(); ++y)
        std::copy_n(grey.constScanLine(y), grey.width(), out.begin() + static_cast<ptrdiff_t>(y) * grey.width());
    return out;
}

} // namespace

std::optional<Bytes> DecodeWithZbar(const QImage& picture, int scale)
{
    const QImage grey = Enlarge(picture, scale);
    std::vector<uint8_t> pixels = Pixels(grey);

    std::unique_ptr<zbar::zbar_image_scanner_t, void (*)(zbar::zbar_image_scanner_t*)> scanner(
        zbar::zbar_image_scanner_create(), zbar::zbar_image_scanner_destroy);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    // Without binary mode zbar guesses a character set and converts the bytes.
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_BINARY, 1);

    std::unique_ptr<zbar::zbar_image_t, void (*)(zbar::zbar_image_t*)> image(zbar::zbar_image_create(),
                                                                            zbar::zbar_image_destroy);
    zbar::zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image.get(), static_cast<unsigned>(grey.width()), static_cast<unsigned>(grey.height()));
    zbar::zbar_image_set_data(image.get(), pixels.data(), pixels.size(), nullptr);
    if (zbar::zbar_scan_image(scanner.get(), image.get()) <= 0)
        return std::nullopt;
    const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image.get());
    if (!symbol || zbar::zbar_symbol_next(symbol))
        return std::nullopt; // exactly one symbol expected
    const char* data = zbar::zbar_symbol_get_data(symbol);
    return Bytes(data, data + zbar::zbar_symbol_get_data_length(symbol));
}

std::optional<Bytes> DecodeWithZxing(const QImage& picture, int scale)
{
    const QImage grey = Enlarge(picture, scale);
    const std::vector<uint8_t> pixels = Pixels(grey);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result
        = ZXing::ReadBarcode({pixels.data(), grey.width(), grey.height(), ZXing::ImageFormat::Lum}, hints);
    if (!result.isValid())
        return std::nullopt;
    const auto& bytes = result.bytes();
    return Bytes(bytes.begin(), bytes.end());
}

std::optional<PeerSymbol> EncodeWithQrencode(const Bytes& data, int version, int level, int mask)
{
    static const QRecLevel kLevels[] = {QR_ECLEVEL_L, QR_ECLEVEL_M, QR_ECLEVEL_Q, QR_ECLEVEL_H};
    std::unique_ptr<QRinput, void (*)(QRinput*)> input(QRinput_new2(version, kLevels[level - 1]), QRinput_free);
    if (!input || QRinput_append(input.get(), QR_MODE_8, static_cast<int>(data.size()), data.data()) != 0)
        return std::nullopt;
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(QRcode_encodeMask(input.get(), mask), QRcode_free);
    // libqrencode takes the version as a minimum; a larger one means "does not fit".
    if (!code || code->version != version)
        return std::nullopt;
    PeerSymbol s;
    s.size = code->width;
    s.mask = mask;
    s.dark.resize(static_cast<size_t>(s.size) * static_cast<size_t>(s.size));
    for (size_t i = 0; i < s.dark.size(); ++i)
        s.dark[i] = (code->data[i] & 1) != 0;
    return s;
}

std::optional<PeerSymbol> EncodeWithQrcodegen(const Bytes& data, int version, int level, int mask)
{
    using qrcodegen::QrCode;
    static const QrCode::Ecc kLevels[] = {QrCode::Ecc::LOW, QrCode::Ecc::MEDIUM, QrCode::Ecc::QUARTILE,
                                          QrCode::Ecc::HIGH};
    try {
        const QrCode code = QrCode::encodeSegments({qrcodegen::QrSegment::makeBytes(data)}, kLevels[level - 1], version,
                                                   version, mask, false);
        PeerSymbol s;
        s.size = code.getSize();
        s.mask = code.getMask();
        for (int y = 0; y < s.size; ++y)
            for (int x = 0; x < s.size; ++x)
                s.dark.push_back(code.getModule(x, y));
        return s;
    } catch (const qrcodegen::data_too_long&) {
        return std::nullopt;
    }
}

} // namespace zarvex::test
