// The symbol's picture as a whole is checked against zarvex-qr's own PBM
// writer (ToolTest) and read back (QrEveryVersion); here the palette and the
// refusals, which a finished symbol never reaches.
#include "qrcode/fake_bar_code.h"

#include <gtest/gtest.h>

using namespace zarvex::qrcode;

TEST(RenderMatrix, PaletteOffsetsOrientationAndRefusals)
{
    // A 4 x 2 matrix at (3, 2), one extra column on the right and five extra rows below.
    const std::vector<uint8_t> bits = {0, 1, 2, 3, 200, 0, 0, 1};
    const QImage p = mdlFakeBarCode::RenderMatrix(bits, 4, 2, 3, 2, 1, 5);
    ASSERT_EQ(p.size(), QSize(4 + 3 + 1, 2 + 2 + 5));
    const QRgb w = qRgb(255, 255, 255), k = qRgb(0, 0, 0), grey = qRgb(128, 128, 128);
    const QRgb matrix[2][4] = {{w, k, grey, k}, {k, w, w, k}}; // top row first
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            const bool inside = x >= 3 && x < 7 && y >= 2 && y < 4;
            ASSERT_EQ(p.pixel(x, y), inside ? matrix[y - 2][x - 3] : w) << x << "," << y;
        }

    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 3, 0, 0, 0, 0), std::out_of_range);
    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 2, -1, 0, 0, 0), std::invalid_argument);
    EXPECT_THROW((void)mdlFakeBarCode::RenderMatrix(bits, 4, 2, INT32_MAX, 0, 0, 0), std::overflow_error);
    EXPECT_FALSE(mdlFakeBarCode::PictureFromBitmap(QImage()));
    EXPECT_TRUE(mdlFakeBarCode::PictureFromBitmap(p));
}
