// What the monitor needs of the screen: where the cursor is, and the colour
// of screen pixels. Shaped on GetCursorPos and GetPixel of the whole-screen
// device context; positions are real screen pixels, never scaled ones.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zarvex::platform {

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const Point&) const = default;
};

// Colours are packed red in the low byte, then green, then blue, upper byte 0
// (#112233 is 0x00332211). A position outside every monitor reads as all ones.
inline constexpr int32_t kColorOutside = -1;

inline constexpr int32_t PackColor(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<int32_t>(uint32_t{red} | (uint32_t{green} << 8) | (uint32_t{blue} << 16));
}

class Screen {
public:
    virtual ~Screen() = default;

    // The cursor's position on the screen; {0, 0} where it is not known.
    virtual Point CursorPosition() = 0;

    // Whether CursorPosition tells where the pointer is. A Wayland compositor
    // tells a program only while the pointer is over one of its own windows,
    // so a point elsewhere on the desktop has to be shown some other way.
    virtual bool KnowsCursorPosition() const { return true; }

    // Empty while pixels can be read; otherwise why not, in the user's words
    // (the desktop refused the screen capture, or offers none).
    virtual std::string Unavailable() const { return {}; }

    // The colour of one screen pixel.
    virtual int32_t PixelColor(Point p) = 0;

    // The colours of many pixels as one screen reading: colors[i] for
    // points[i], each equal to what PixelColor would give. Backends override
    // this to read once per call instead of once per point.
    virtual void PixelColors(std::span<const Point> points, std::span<int32_t> colors)
    {
        for (size_t i = 0; i < points.size() && i < colors.size(); ++i)
            colors[i] = PixelColor(points[i]);
    }
};

} // namespace zarvex::platform
