#include "platform/TextControls.h"

namespace platform {

Label& addLabel(View& parent, Rect frame, const std::string& text, float fontSize, TextAlignment alignment,
                Color textColor)
{
    Label& label = parent.addSubview(std::make_unique<Label>(frame));
    label.setFont(Font::fontWithNameSize("Helvetica", fontSize));
    label.setTextColor(textColor);
    label.setTextAlignment(alignment);
    label.setText(text);
    return label;
}

Button& addTextButton(View& parent, Rect frame, const std::string& title, Color titleColor)
{
    Button& button = parent.addSubview(std::make_unique<Button>(frame));
    button.setShowsTouchWhenHighlighted(true);
    addLabel(button, {0, 0, frame.width, frame.height}, title, 17, TextAlignment::Center, titleColor);
    return button;
}

} // namespace platform
