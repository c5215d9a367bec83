#include "qrcode/fake_bar_code.h"

#include <gtest/gtest.h>

using namespace zarvex::qrcode;

TEST(RenderMatrix, PaletteOffsetsAndOrientation)
{
    // 4 x 2 matrix: top row 0 1 2 3, bottom row 200 0 0 1.
    const std::vector<uint8_t> bits = {0, 1, 2, 3, 200, 0, 0, 1};
    const QImage p = mdlFakeBarCode::RenderMatrix(bits, 4, 2, 3, 2, 1, 5);
    ASSERT_EQ(p.width(), 4 + 3 + 1);
    ASSERT_EQ(p.height(), 2 + 2 + 5);
    EXPECT_EQ(p.pixel(3, 2), qRgb(255, 255, 255));
    EXPECT_EQ(p.pixel(4, 2), qRgb(0, 0, 0));
    EXPECT_EQ(p.pixel(5, 2), qRgb(128, 128, 128));
    EXPECT_EQ(p.pixel(6, 2), qRgb(0, 0, 0));
    EXPECT_EQ(p.pixel(3, 3), qRgb(0, 0, 0)) << "the first byte of the second row is drawn below the first";
    EXPECT_EQ(p.pixel(6, 3), qRgb(0, 0, 0));
    // Everything outside the matrix area is white.
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if (x < 3 || x > 6 || y < 2 || y > 3)
                ASSERT_EQ(p.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;

    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 3, 0, 0, 0, 0), std::out_of_range);
    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 2, -1, 0, 0, 0), std::invalid_argument);
    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 2, INT32_MAX, 0, 0, 0), std::overflow_error);
}

TEST(RenderMatrix, PictureFromBitmapRefusesNull)
{
    EXPECT_FALSE(mdlFakeBarCode::PictureFromBitmap(QImage()));
    EXPECT_TRUE(mdlFakeBarCode::PictureFromBitmap(QImage(2, 2, QImage::Format_Indexed8)));
}

TEST(EncodeToPicture, VersionOneSymbolWithItsQuietZone)
{
    clsQRCode qr;
    const std::vector<uint8_t> msg = {'0', '1', '2', '3', '4', '5', '6', '7'};
    const auto p = EncodeToPicture(qr, msg, 8, 1, 2, 0);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->width(), 29);
    ASSERT_EQ(p->height(), 29);
    const auto symbol = qr.EncodeToMatrix(msg, 8, 1, 2, 0);
    for (int y = 0; y < 29; ++y) {
        for (int x = 0; x < 29; ++x) {
            const bool inside = x >= 4 && x < 25 && y >= 4 && y < 25;
            const bool dark = inside && symbol->Dark(x - 4, y - 4);
            ASSERT_EQ(p->pixel(x, y), dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        }
    }
    EXPECT_FALSE(EncodeToPicture(qr, msg, 8, -1, 2, 0));
}
