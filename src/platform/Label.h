#pragma once
// One line of text, drawn by the backend with pango as plain text (never markup).

#include "platform/View.h"

#include <string>

namespace platform {

enum class TextAlignment : std::int32_t { Left = 0, Center = 1 };
enum class LineBreakMode : std::int32_t { Clip = 2 };

struct Font {
    std::string name;    // the system's own font names ("Casino Hand", "MarkerFelt-Thin")
    float size = 17;
    static Font fontWithNameSize(std::string name, float size) { return {std::move(name), size}; }
    friend bool operator==(const Font&, const Font&) = default;
};

class Label : public View {
public:
    explicit Label(Rect frame = {}) : View(frame) {}

    const std::string& text() const noexcept { return text_; }
    // Stores valid UTF-8: each invalid byte sequence becomes U+FFFD.
    void setText(std::string_view text);
    const Font& font() const noexcept { return font_; }
    void setFont(Font font);
    Color textColor() const noexcept { return textColor_; }
    void setTextColor(Color color);
    TextAlignment textAlignment() const noexcept { return alignment_; }
    void setTextAlignment(TextAlignment alignment);
    LineBreakMode lineBreakMode() const noexcept { return lineBreakMode_; }
    void setLineBreakMode(LineBreakMode mode);
    int numberOfLines() const noexcept { return numberOfLines_; }
    void setNumberOfLines(int lines);
    // How tall the line of text may be, for a label set closer to another than its own
    // height: the font is drawn smaller where its line would be taller, and the line
    // stays centred. 0 (the default) or less: the label's height.
    float lineHeightPoints() const noexcept { return lineHeight_; }
    void setLineHeightPoints(float height);

    // The text, with pango; nothing while there is none.
    void drawRect(Rect area) override;
    bool drawsContent() const noexcept override { return !text_.empty(); }

private:
    std::string text_;
    Font font_;
    Color textColor_ = Color::black();
    TextAlignment alignment_ = TextAlignment::Left;
    LineBreakMode lineBreakMode_ = LineBreakMode::Clip;
    int numberOfLines_ = 1;
    float lineHeight_ = 0;
};

} // namespace platform
