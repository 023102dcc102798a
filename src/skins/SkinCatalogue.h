#pragma once
// The eight cassette skins as data: the picture, and where and how each skin letters
// its two turned labels. The player applies these; the artwork tool draws the label
// paper under the same places and checks that the ink will be readable there. So
// that the tool can include it, this header depends on nothing but the standard library.

#include <array>
#include <cstdint>

// Across the turned label's line of text (the nearest float to 33.8).
inline constexpr float labelWidthPoints = 33.8f;

enum class LabelInk { Black, White };
enum class LabelAlignment { Left, Centre };

// The upright rectangle a turned label covers, in screen points: x and y of its top
// left corner, its height along the line of text, and labelWidthPoints across it.
struct LabelPlace {
    float x;
    // The older platform's fonts run wider; two skins move their labels left for it.
    float olderX;
    float y;
    float height;
    LabelAlignment alignment;
};

struct SkinLayout {
    const char* imageName;
    LabelInk ink;
    float fontSize;
    float olderFontSize;
    LabelPlace artistAlbum;
    LabelPlace title;
    // Skins whose labels were hidden before are filled again from the player.
    bool refreshesTexts;
};

inline constexpr std::int32_t lastTapeIndex = 7;

inline constexpr std::array<SkinLayout, lastTapeIndex + 1> skinCatalogue = [] {
    using enum LabelInk;
    using enum LabelAlignment;
    return std::array<SkinLayout, lastTapeIndex + 1>{{
        {"mc1-640.png", Black, 26, 20, {32, 31, 20, 440, Centre}, {60, 58, 20, 440, Centre}, true},
        {"mc2-640.png", Black, 24, 18, {53, 52, 20, 440, Centre}, {75, 73, 20, 440, Centre}, true},
        {"mc3-640.png", Black, 26, 20, {205, 205, 20, 360, Centre}, {44, 44, 20, 325, Left}, false},
        {"mc4-640.png", Black, 26, 20, {30, 30, 15, 330, Centre}, {58, 58, 15, 330, Centre}, false},
        {"mc5-640.png", Black, 26, 20, {205, 205, 20, 360, Centre}, {44, 44, 20, 325, Left}, false},
        {"mc6-640.png", Black, 26, 20, {36, 36, 20, 390, Centre}, {69, 69, 20, 390, Centre}, false},
        {"mc7-640.png", White, 26, 20, {38, 38, 70, 340, Centre}, {68, 68, 70, 340, Centre}, false},
        {"mc8-640.png", Black, 26, 20, {205, 205, 20, 360, Centre}, {44, 44, 20, 325, Left}, false},
    }};
}();
