#pragma once
// Value types of the screen: points, sizes, rectangles, colours, 8-bit flags.
// Screen coordinates are points, origin at the top left, y growing downwards.

#include <cstdint>

namespace platform {

using Flag = std::int8_t;
inline constexpr Flag NO = 0;
inline constexpr Flag YES = 1;

struct Point {
    float x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    float width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    float x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;

    float minX() const noexcept { return x; }
    float minY() const noexcept { return y; }
    float maxX() const noexcept { return x + width; }
    float maxY() const noexcept { return y + height; }
    float midX() const noexcept { return x + width / 2; }
    float midY() const noexcept { return y + height / 2; }
    Point center() const noexcept { return {midX(), midY()}; }
    Size size() const noexcept { return {width, height}; }
    bool isEmpty() const noexcept { return width <= 0 || height <= 0; }

    // Half-open: a point on the right or bottom edge lies outside, so that
    // two rectangles sharing an edge never both contain a point.
    bool contains(Point p) const noexcept { return p.x >= x && p.y >= y && p.x < maxX() && p.y < maxY(); }
    bool contains(const Rect& r) const noexcept
    {
        return r.x >= x && r.y >= y && r.maxX() <= maxX() && r.maxY() <= maxY();
    }
    bool intersects(const Rect& r) const noexcept
    {
        return r.x < maxX() && x < r.maxX() && r.y < maxY() && y < r.maxY();
    }
    // The overlap of both rectangles; an empty rectangle at the origin when they do not meet.
    Rect intersection(const Rect& r) const noexcept;
    // Grown by dx and dy on every side (negative values shrink it).
    Rect insetBy(float dx, float dy) const noexcept { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    Rect offsetBy(float dx, float dy) const noexcept { return {x + dx, y + dy, width, height}; }
};

inline Rect Rect::intersection(const Rect& r) const noexcept
{
    if (!intersects(r))
        return {};
    const float left = x > r.x ? x : r.x;
    const float top = y > r.y ? y : r.y;
    const float right = maxX() < r.maxX() ? maxX() : r.maxX();
    const float bottom = maxY() < r.maxY() ? maxY() : r.maxY();
    return {left, top, right - left, bottom - top};
}

// Straight (not premultiplied) RGBA, each 0 to 1.
struct Color {
    float red = 0, green = 0, blue = 0, alpha = 0;
    friend bool operator==(const Color&, const Color&) = default;

    static constexpr Color black() { return {0, 0, 0, 1}; }
    static constexpr Color white() { return {1, 1, 1, 1}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }
};

} // namespace platform
