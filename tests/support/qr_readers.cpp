#include "support/qr_readers.h"

#include <qrcodegen/qrcodegen.hpp>
#include <ZXing/ReadBarcode.h>

namespace zarvex::test {

std::optional<Bytes> Decode(const QImage& picture, int scale)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8)
                            .scaled(picture.width() * scale, picture.height() * scale, Qt::IgnoreAspectRatio,
                                    Qt::FastTransformation);
    const ZXing::Result result = ZXing::ReadBarcode(
        {grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum, static_cast<int>(grey.bytesPerLine())},
        ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    if (!result.isValid())
        return std::nullopt;
    return Bytes(result.bytes().begin(), result.bytes().end());
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
