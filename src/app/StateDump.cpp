#include "app/StateDump.h"

#include "app/ScriptJson.h"
#include "app/SpooloraAppDelegate.h"
#include "mechanics/TapeBandCircleUIView.h"
#include "player/MainViewController.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

// Sections: small writers · controller · screen · player and platform · the whole line.

namespace spoolora {

namespace {

using json::Writer;
using platform::Nanoseconds;

// --- Small writers ------------------------------------------------------------------

void writeRect(Writer& w, const platform::Rect& r)
{
    w.beginArray().number(r.x).number(r.y).number(r.width).number(r.height).endArray();
}

void writeDate(Writer& w, const platform::Date& date)
{
    if (date.isSet())
        w.number(date.clockSeconds());
    else
        w.null();
}

void writeSeconds(Writer& w, Nanoseconds at)
{
    w.number(platform::secondsFromNanoseconds(at));
}

std::string colorName(const platform::Color& color)
{
    if (color == platform::Color::black())
        return "black";
    if (color == platform::Color::white())
        return "white";
    const auto channel = [](float v) { return static_cast<int>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", channel(color.red), channel(color.green),
                  channel(color.blue), channel(color.alpha));
    return text;
}

void writeOptionalString(Writer& w, const std::optional<std::string>& text)
{
    if (text)
        w.string(*text);
    else
        w.null();
}

// --- Controller -----------------------------------------------------------------------

void writeController(Writer& w, const MainViewController& c)
{
    const auto flag = [&](const char* name, platform::Flag value) { w.key(name).boolean(value != platform::NO); };
    const auto date = [&](const char* name, const platform::Date& value) {
        w.key(name);
        writeDate(w, value);
    };
    const auto rect = [&](const char* name, const platform::Rect& value) {
        w.key(name);
        writeRect(w, value);
    };
    w.beginObject();
    w.key("selectedTape").integer(c.selectedTape);
    w.key("tapeSpeedmmPerSecond").number(c.tapeSpeedmmPerSecond);
    w.key("lastTapeSpeedmmPerSecond").number(c.lastTapeSpeedmmPerSecond);
    w.key("leftDiameterWheelMM").number(c.leftDiameterWheelMM);
    w.key("rightDiameterWheelMM").number(c.rightDiameterWheelMM);
    w.key("leftDegreesPiPerSecond").number(c.leftDegreesPiPerSecond);
    w.key("rightDegreesPiPerSecond").number(c.rightDegreesPiPerSecond);
    flag("leftWheelIsOnTopBOOL", c.leftWheelIsOnTopBOOL);
    w.key("pixelRadiusLeft").integer(c.pixelRadiusLeft);
    w.key("pixelRadiusRight").integer(c.pixelRadiusRight);
    w.key("lastPixelRadiusLeft").integer(c.lastPixelRadiusLeft);
    w.key("lastPixelRadiusRight").integer(c.lastPixelRadiusRight);
    w.key("wobbleState").integer(c.wobbleState);
    flag("skipSpinningBOOL", c.skipSpinningBOOL);
    flag("currentlySeekActive", c.currentlySeekActive);
    flag("oldiOSVersionPre32", c.oldiOSVersionPre32);
    flag("mediaPickerCurrentlyShownBool", c.mediaPickerCurrentlyShownBool);
    date("touchDownDate", c.touchDownDate);
    date("hideControlsDate", c.hideControlsDate);
    date("wheelSpinningSkipDate", c.wheelSpinningSkipDate);
    date("changeRotationTimer", c.changeRotationTimer);
    rect("rightBandRectPosStart", c.rightBandRectPosStart);
    rect("rightBandRectPosWobble", c.rightBandRectPosWobble);
    rect("leftBandRectPosStart", c.leftBandRectPosStart);
    rect("leftBandRectPosWobble", c.leftBandRectPosWobble);
    rect("leftTapeRollRectPosStart", c.leftTapeRollRectPosStart);
    rect("leftTapeRollRectPosWobble", c.leftTapeRollRectPosWobble);
    rect("rightTapeRollRectPosStart", c.rightTapeRollRectPosStart);
    rect("rightTapeRollRectPosWobble", c.rightTapeRollRectPosWobble);
    w.endObject();
}

// --- Screen -----------------------------------------------------------------------------

// Which toolbar control an item is, told by what it shows.
std::optional<std::string> toolbarButtonName(const platform::BarButtonItem& item)
{
    if (const auto system = item.systemItem()) {
        switch (*system) {
        case platform::SystemItem::Play:
        case platform::SystemItem::Pause:
            return "playPause";
        case platform::SystemItem::Action:
            return "share";
        default:
            return std::nullopt;
        }
    }
    const platform::View* view = item.customView();
    if (dynamic_cast<const platform::VolumeView*>(view))
        return "volume";
    const auto* button = dynamic_cast<const platform::Button*>(view);
    if (!button || !button->image())
        return std::nullopt;
    static const std::map<std::string, std::string> byImage = {
        {"music_icon.png", "music"},
        {"tape-icon.png", "tape"},
        {"UIBarButtonRewind.png", "rewind"},
        {"UIBarButtonFastForward.png", "fastForward"},
    };
    const auto found = byImage.find(button->image()->name);
    if (found == byImage.end())
        return std::nullopt;
    return found->second;
}

void writeToolbar(Writer& w, const MainViewController& c)
{
    const platform::Toolbar* bar = c.myToolBar;
    if (!bar) {
        w.null();
        return;
    }
    w.beginObject();
    w.key("hidden").boolean(bar->isHidden());
    w.key("items").string(bar->items() == c.barButtonItemsWithPauseArray ? "pause" : "play");

    const platform::Rect barOnScreen = bar->frameOnScreen();
    const std::vector<platform::Rect> frames = bar->itemFrames();
    std::map<std::string, platform::Rect> placed;
    for (std::size_t i = 0; i < bar->items().size() && i < frames.size(); ++i) {
        const auto name = toolbarButtonName(*bar->items()[i]);
        if (name && !placed.count(*name))
            placed[*name] = frames[i].offsetBy(barOnScreen.x, barOnScreen.y);
    }
    w.key("buttons").beginObject();
    for (const char* name : {"music", "tape", "rewind", "playPause", "fastForward", "share", "volume"}) {
        w.key(name);
        const auto found = placed.find(name);
        if (found == placed.end())
            w.null();
        else
            writeRect(w, found->second);
    }
    w.endObject();
    w.endObject();
}

// The upright rectangle a view covers on the screen, through its superview's place.
platform::Rect screenFrame(const platform::View& view)
{
    platform::Rect frame = view.frame();
    if (const platform::View* superview = view.superview()) {
        const platform::Rect origin = superview->frameOnScreen();
        frame = frame.offsetBy(origin.x, origin.y);
    }
    return frame;
}

void writeLabel(Writer& w, const platform::Label* label)
{
    if (!label) {
        w.null();
        return;
    }
    w.beginObject();
    w.key("text").string(label->text());
    w.key("font").string(label->font().name);
    w.key("size").number(label->font().size);
    w.key("color").string(colorName(label->textColor()));
    w.key("frame");
    writeRect(w, screenFrame(*label));
    w.key("alignment").string(label->textAlignment() == platform::TextAlignment::Center ? "center" : "left");
    w.key("hidden").boolean(label->isHidden());
    w.endObject();
}

// One member per named view: null for a view not made, else an object that writeView fills.
template <class NamedViews, class WriteView>
void writeViewMembers(Writer& w, const NamedViews& views, WriteView writeView)
{
    for (const auto& [name, view] : views) {
        w.key(name);
        if (!view) {
            w.null();
            continue;
        }
        w.beginObject();
        writeView(*view);
        w.endObject();
    }
}

void writeCassette(Writer& w, const MainViewController& c)
{
    const std::array<std::pair<const char*, const platform::View*>, 4> views = {{
        {"leftBandImageView", c.leftBandImageView},
        {"rightBandImageView", c.rightBandImageView},
        {"leftTapeRollUIView", c.leftTapeRollUIView},
        {"rightTapeRollUIView", c.rightTapeRollUIView},
    }};
    std::vector<std::pair<std::size_t, const char*>> stacked;
    for (const auto& [name, view] : views)
        if (view && view->superview())
            stacked.emplace_back(view->indexInSuperview(), name);
    std::sort(stacked.begin(), stacked.end());

    w.beginObject();
    w.key("order").beginArray();
    for (const auto& entry : stacked)
        w.string(entry.second);
    w.endArray();
    writeViewMembers(w, views, [&](const platform::View& view) {
        w.key("frame");
        writeRect(w, view.frame());
        w.key("rotation").number(view.transform().rotation);
    });
    w.endObject();
}

void writeTapeRolls(Writer& w, const MainViewController& c)
{
    const std::array<std::pair<const char*, const TapeBandCircleUIView*>, 2> views = {{
        {"leftTapeRollUIView", c.leftTapeRollUIView},
        {"rightTapeRollUIView", c.rightTapeRollUIView},
    }};
    w.beginObject();
    writeViewMembers(w, views, [&](const TapeBandCircleUIView& view) {
        w.key("band").integer(view.pixelFromBandToSuppressInt);
        w.key("redraws").unsignedInteger(view.displayRequestCount());
    });
    w.endObject();
}

// The rotation animation still playing on the layer: the latest one added, if any applies now.
const std::pair<const std::string, platform::BasicAnimation>* runningRotation(const platform::Layer& layer,
                                                                               Nanoseconds now)
{
    const std::pair<const std::string, platform::BasicAnimation>* latest = nullptr;
    for (const auto& entry : layer.animations()) {
        const platform::BasicAnimation& animation = entry.second;
        if (animation.keyPath != "transform.rotation.z")
            continue;
        const double elapsed = platform::secondsFromNanoseconds(now - animation.beginTime);
        if (animation.removedOnCompletion && elapsed >= animation.activeDuration())
            continue;
        if (!latest || animation.beginTime >= latest->second.beginTime)
            latest = &entry;
    }
    return latest;
}

void writeReels(Writer& w, const MainViewController& c, Nanoseconds now)
{
    const std::array<std::pair<const char*, const platform::ImageView*>, 2> views = {{
        {"leftWheelImageView", c.leftWheelImageView},
        {"rightWheelImageView", c.rightWheelImageView},
    }};
    w.beginObject();
    writeViewMembers(w, views, [&](const platform::ImageView& view) {
        w.key("angle").number(view.layer().presentationAt(now).rotation);
        w.key("animation");
        const auto* running = runningRotation(view.layer(), now);
        if (!running) {
            w.null();
            return;
        }
        const platform::BasicAnimation& a = running->second;
        w.beginObject();
        w.key("key").string(running->first);
        w.key("from").number(a.fromValue);
        w.key("by").number(a.byValue);
        w.key("duration").number(a.duration);
        w.key("start");
        writeSeconds(w, a.beginTime);
        w.endObject();
    });
    w.endObject();
}

// --- Player and platform --------------------------------------------------------------

void writeTitle(Writer& w, const platform::MediaItemPtr& item)
{
    if (item && item->title)
        w.string(*item->title);
    else
        w.null();
}

void writePlayer(Writer& w, const platform::headless::ScriptedMusicPlayer& player)
{
    w.beginObject();
    w.key("state").integer(player.playbackState());
    w.key("item");
    writeTitle(w, player.nowPlayingItem());
    w.key("time").number(player.currentPlaybackTime());
    w.key("repeatMode").integer(player.repeatMode());
    w.key("queue").beginArray();
    for (const auto& item : player.queue())
        writeTitle(w, item);
    w.endArray();
    w.key("commands").beginArray();
    for (const auto& command : player.commands())
        w.string(command);
    w.endArray();
    w.endObject();
}

void writeModalRecords(Writer& w, platform::headless::HeadlessPlatform& platform)
{
    w.key("modal");
    if (platform.presentedPicker())
        w.string("picker");
    else if (platform.presentedComposer())
        w.string("mail");
    else if (platform.window().presentedController())
        w.string("other");
    else
        w.null();

    w.key("picker");
    if (platform.pickersMade().empty()) {
        w.null();
    } else {
        const auto settings = platform.pickersMade().back().settings;
        w.beginObject();
        w.key("multiple").boolean(settings.multiple);
        w.key("prompt");
        writeOptionalString(w, settings.prompt);
        w.key("background");
        writeOptionalString(w, settings.background ? std::optional(colorName(*settings.background)) : std::nullopt);
        w.endObject();
    }

    w.key("mail");
    if (platform.composersMade().empty()) {
        w.null();
    } else {
        const auto message = platform.composersMade().back()->message();
        w.beginObject();
        w.key("subject").string(message.subject);
        w.key("body").string(message.body);
        w.key("html").boolean(message.html);
        w.key("barStyle").integer(message.barStyle);
        w.endObject();
    }

    w.key("alerts").beginArray();
    for (const auto& alert : platform.window().alertsShown()) {
        w.beginObject();
        w.key("title").string(alert.title);
        w.key("message").string(alert.message);
        w.key("button").string(alert.cancelButtonTitle);
        w.endObject();
    }
    w.endArray();
}

} // namespace

// --- The whole line ---------------------------------------------------------------------

std::string dumpState(platform::headless::HeadlessPlatform& platform, const SpooloraAppDelegate* delegate,
                      const std::vector<TransitionLogEntry>& transitions)
{
    const Nanoseconds now = platform.clock().now();
    const MainViewController* controller = delegate ? delegate->mainViewController() : nullptr;
    const bool screenBuilt = controller && controller->isViewLoaded();

    Writer w;
    w.beginObject();
    w.key("time");
    writeSeconds(w, now);

    w.key("controller");
    if (controller)
        writeController(w, *controller);
    else
        w.null();

    // Members about the screen are null until it is built.
    const auto screenMember = [&](const char* name, const auto& write) {
        w.key(name);
        if (screenBuilt)
            write();
        else
            w.null();
    };
    screenMember("toolbar", [&] { writeToolbar(w, *controller); });
    screenMember("labels", [&] {
        w.beginObject();
        w.key("currentTitleLabel");
        writeLabel(w, controller->currentTitleLabel);
        w.key("currentArtistAlbumLabel");
        writeLabel(w, controller->currentArtistAlbumLabel);
        w.endObject();
    });

    w.key("skin");
    if (screenBuilt && controller->tapeSkinImageView && controller->tapeSkinImageView->image())
        w.string(controller->tapeSkinImageView->image()->name);
    else
        w.null();

    w.key("transitions").beginArray();
    for (const TransitionLogEntry& entry : transitions) {
        w.beginObject();
        w.key("subtype").string(entry.subtype == platform::TransitionSubtype::FromLeft ? "fromLeft" : "fromRight");
        w.key("at");
        writeSeconds(w, entry.at);
        w.endObject();
    }
    w.endArray();

    screenMember("cassette", [&] { writeCassette(w, *controller); });
    screenMember("tapeRolls", [&] { writeTapeRolls(w, *controller); });
    screenMember("reels", [&] { writeReels(w, *controller, now); });

    w.key("player");
    writePlayer(w, platform.scriptedPlayer());

    w.key("preferences").beginObject();
    platform::UserDefaults& defaults = platform.standardUserDefaults();
    w.key(SpooloraAppDelegate::firstStartupKey).integer(defaults.integerForKey(SpooloraAppDelegate::firstStartupKey));
    w.key(SpooloraAppDelegate::selectedTapeKey).integer(defaults.integerForKey(SpooloraAppDelegate::selectedTapeKey));
    w.endObject();
    w.key("idleTimerDisabled").boolean(platform.isIdleTimerDisabled());
    writeModalRecords(w, platform);
    w.endObject();
    return w.text();
}

} // namespace spoolora
