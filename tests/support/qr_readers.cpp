#include "support/qr_readers.h"

#include <qrcodegen/qrcodegen.hpp>
#include <qrencode.h>
#include <ZXing/ReadBarcode.h>

#include <memory>
#include <stdexcept>

// Exported by Debian's libqrencode but not declared in its header: encodes
// with a fixed mask instead of the penalty-chosen one.
extern "C" QRcode* QRcode_encodeMask(QRinput* input, int mask);

namespace zarvex::test {

std::optional<Bytes> Decode(const QImage& picture, int scale)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8)
                            .scaled(picture.width() * scale, picture.height() * scale, Qt::IgnoreAspectRatio,
                                    Qt::FastTransformation);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    const ZXing::Result result = ZXing::ReadBarcode(
        {grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum, static_cast<int>(grey.bytesPerLine())},
        hints);
    if (!result.isValid())
        return std::nullopt;
    return Bytes(result.bytes().begin(), result.bytes().end());
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
    PeerSymbol s{code->width, mask, {}};
    for (int i = 0; i < s.size * s.size; ++i)
        s.dark.push_back((code->data[i] & 1) != 0);
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
        PeerSymbol s{code.getSize(), code.getMask(), {}};
        for (int y = 0; y < s.size; ++y)
            for (int x = 0; x < s.size; ++x)
                s.dark.push_back(code.getModule(x, y));
        return s;
    } catch (const qrcodegen::data_too_long&) {
        return std::nullopt;
    }
}

} // namespace zarvex::test
