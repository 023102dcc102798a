#include "app/StateDump.h"

#include "app/ScriptJson.h"
#include "app/SpooloraAppDelegate.h"
#include "mechanics/TapeBandCircleUIView.h"
#include "platform/VolumeView.h"
#include "player/MainViewController.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

// Sections: small writers · controller · screen · player and platform · the whole line.

namespace spoolora {

namespace {

using json::Json;
using platform::Nanoseconds;

// --- Small writers ------------------------------------------------------------------

Json rect(const platform::Rect& r)
{
    return Json::array({json::number(r.x), json::number(r.y), json::number(r.width), json::number(r.height)});
}

Json date(const platform::Date& date)
{
    return date.isSet() ? json::number(date.clockSeconds()) : Json(nullptr);
}

Json seconds(Nanoseconds at)
{
    return json::number(platform::secondsFromNanoseconds(at));
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

Json optionalText(const std::optional<std::string>& text)
{
    return text ? json::text(*text) : Json(nullptr);
}

// --- Controller -----------------------------------------------------------------------

Json controllerFields(const MainViewController& c)
{
    const auto flag = [](platform::Flag value) { return value != platform::NO; };
    Json w = Json::object();
    w["selectedTape"] = c.selectedTape;
    w["tapeSpeedmmPerSecond"] = json::number(c.tapeSpeedmmPerSecond);
    w["lastTapeSpeedmmPerSecond"] = json::number(c.lastTapeSpeedmmPerSecond);
    w["leftDiameterWheelMM"] = json::number(c.leftDiameterWheelMM);
    w["rightDiameterWheelMM"] = json::number(c.rightDiameterWheelMM);
    w["leftDegreesPiPerSecond"] = json::number(c.leftDegreesPiPerSecond);
    w["rightDegreesPiPerSecond"] = json::number(c.rightDegreesPiPerSecond);
    w["leftWheelIsOnTopBOOL"] = flag(c.leftWheelIsOnTopBOOL);
    w["pixelRadiusLeft"] = c.pixelRadiusLeft;
    w["pixelRadiusRight"] = c.pixelRadiusRight;
    w["lastPixelRadiusLeft"] = c.lastPixelRadiusLeft;
    w["lastPixelRadiusRight"] = c.lastPixelRadiusRight;
    w["wobbleState"] = c.wobbleState;
    w["skipSpinningBOOL"] = flag(c.skipSpinningBOOL);
    w["currentlySeekActive"] = flag(c.currentlySeekActive);
    w["oldiOSVersionPre32"] = flag(c.oldiOSVersionPre32);
    w["mediaPickerCurrentlyShownBool"] = flag(c.mediaPickerCurrentlyShownBool);
    w["touchDownDate"] = date(c.touchDownDate);
    w["hideControlsDate"] = date(c.hideControlsDate);
    w["wheelSpinningSkipDate"] = date(c.wheelSpinningSkipDate);
    w["changeRotationTimer"] = date(c.changeRotationTimer);
    w["rightBandRectPosStart"] = rect(c.rightBandRectPosStart);
    w["rightBandRectPosWobble"] = rect(c.rightBandRectPosWobble);
    w["leftBandRectPosStart"] = rect(c.leftBandRectPosStart);
    w["leftBandRectPosWobble"] = rect(c.leftBandRectPosWobble);
    w["leftTapeRollRectPosStart"] = rect(c.leftTapeRollRectPosStart);
    w["leftTapeRollRectPosWobble"] = rect(c.leftTapeRollRectPosWobble);
    w["rightTapeRollRectPosStart"] = rect(c.rightTapeRollRectPosStart);
    w["rightTapeRollRectPosWobble"] = rect(c.rightTapeRollRectPosWobble);
    return w;
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

Json toolbar(const MainViewController& c)
{
    const platform::Toolbar* bar = c.myToolBar;
    if (!bar)
        return nullptr;
    Json w = Json::object();
    w["hidden"] = bar->isHidden();
    w["items"] = bar->items() == c.barButtonItemsWithPauseArray ? "pause" : "play";

    const platform::Rect barOnScreen = bar->frameOnScreen();
    const std::vector<platform::Rect> frames = bar->itemFrames();
    std::map<std::string, platform::Rect> placed;
    for (std::size_t i = 0; i < bar->items().size() && i < frames.size(); ++i) {
        const auto name = toolbarButtonName(*bar->items()[i]);
        if (name && !placed.count(*name))
            placed[*name] = frames[i].offsetBy(barOnScreen.x, barOnScreen.y);
    }
    Json buttons = Json::object();
    for (const char* name : {"music", "tape", "rewind", "playPause", "fastForward", "share", "volume"}) {
        const auto found = placed.find(name);
        buttons[name] = found == placed.end() ? Json(nullptr) : rect(found->second);
    }
    w["buttons"] = std::move(buttons);
    return w;
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

Json label(const platform::Label* label)
{
    if (!label)
        return nullptr;
    Json w = Json::object();
    w["text"] = json::text(label->text());
    w["font"] = json::text(label->font().name);
    w["size"] = json::number(label->font().size);
    w["color"] = colorName(label->textColor());
    w["frame"] = rect(screenFrame(*label));
    w["alignment"] = label->textAlignment() == platform::TextAlignment::Center ? "center" : "left";
    w["hidden"] = label->isHidden();
    return w;
}

// One member per named view: null for a view not made, else what describe gives.
template <class NamedViews, class Describe>
Json viewMembers(const NamedViews& views, Describe describe)
{
    Json w = Json::object();
    for (const auto& [name, view] : views)
        w[name] = view ? describe(*view) : Json(nullptr);
    return w;
}

Json cassette(const MainViewController& c)
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

    Json order = Json::array();
    for (const auto& entry : stacked)
        order.push_back(entry.second);
    Json w = Json::object();
    w["order"] = std::move(order);
    w.update(viewMembers(views, [](const platform::View& view) {
        Json v = Json::object();
        v["frame"] = rect(view.frame());
        v["rotation"] = json::number(view.transform().rotation);
        return v;
    }));
    return w;
}

Json tapeRolls(const MainViewController& c)
{
    const std::array<std::pair<const char*, const TapeBandCircleUIView*>, 2> views = {{
        {"leftTapeRollUIView", c.leftTapeRollUIView},
        {"rightTapeRollUIView", c.rightTapeRollUIView},
    }};
    return viewMembers(views, [](const TapeBandCircleUIView& view) {
        Json v = Json::object();
        v["band"] = view.pixelFromBandToSuppressInt;
        v["redraws"] = view.displayRequestCount();
        return v;
    });
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

Json reels(const MainViewController& c, Nanoseconds now)
{
    const std::array<std::pair<const char*, const platform::ImageView*>, 2> views = {{
        {"leftWheelImageView", c.leftWheelImageView},
        {"rightWheelImageView", c.rightWheelImageView},
    }};
    return viewMembers(views, [&](const platform::ImageView& view) {
        Json v = Json::object();
        v["angle"] = json::number(view.layer().presentationAt(now).rotation);
        const auto* running = runningRotation(view.layer(), now);
        if (!running) {
            v["animation"] = nullptr;
            return v;
        }
        const platform::BasicAnimation& a = running->second;
        Json animation = Json::object();
        animation["key"] = json::text(running->first);
        animation["from"] = json::number(a.fromValue);
        animation["by"] = json::number(a.byValue);
        animation["duration"] = json::number(a.duration);
        animation["start"] = seconds(a.beginTime);
        v["animation"] = std::move(animation);
        return v;
    });
}

// --- Player and platform --------------------------------------------------------------

Json title(const platform::MediaItemPtr& item)
{
    return item && item->title ? json::text(*item->title) : Json(nullptr);
}

Json player(const platform::headless::ScriptedMusicPlayer& player)
{
    Json w = Json::object();
    w["state"] = player.playbackState();
    w["item"] = title(player.nowPlayingItem());
    w["time"] = json::number(player.currentPlaybackTime());
    w["repeatMode"] = player.repeatMode();
    Json queue = Json::array();
    for (const auto& item : player.queue())
        queue.push_back(title(item));
    w["queue"] = std::move(queue);
    Json commands = Json::array();
    for (const auto& command : player.commands())
        commands.push_back(json::text(command));
    w["commands"] = std::move(commands);
    return w;
}

// What the music picker on screen shows: its list (the rows in view), the search,
// the chosen songs in order, and the scan line.
Json pickerScreen(const platform::LibraryPicker& picker)
{
    static const char* const tabNames[] = {"albums", "artists", "songs"};
    Json p = Json::object();
    p["tab"] = tabNames[static_cast<int>(picker.tab())];
    p["search"] = json::text(picker.searchText());
    p["detail"] = picker.isShowingDetail() ? json::text(picker.detailTitle()) : Json(nullptr);
    p["rowCount"] = picker.rows().size();
    const auto [first, last] = picker.visibleRowRange();
    p["firstVisibleRow"] = first;
    Json rows = Json::array();
    for (std::size_t i = first; i < last; ++i)
        rows.push_back(json::text(picker.rowTitle(picker.rows()[i])));
    p["rows"] = std::move(rows);
    p["cursor"] = picker.cursor() ? Json(*picker.cursor()) : Json(nullptr);
    Json chosen = Json::array();
    for (const auto& item : picker.selection())
        chosen.push_back(title(item));
    p["chosen"] = std::move(chosen);
    p["status"] = json::text(picker.statusText());
    p["empty"] = picker.isShowingEmptyLibrary();
    return p;
}

void addModalRecords(Json& w, platform::headless::HeadlessPlatform& platform)
{
    if (platform.presentedPicker())
        w["modal"] = "picker";
    else if (platform.presentedComposer())
        w["modal"] = "mail";
    else if (platform.window().presentedController())
        w["modal"] = "other";
    else
        w["modal"] = nullptr;

    if (platform.pickersMade().empty()) {
        w["picker"] = nullptr;
    } else {
        const auto settings = platform.pickersMade().back().settings;
        Json picker = Json::object();
        picker["multiple"] = settings.multiple;
        picker["prompt"] = optionalText(settings.prompt);
        picker["background"] = settings.background ? Json(colorName(*settings.background)) : Json(nullptr);
        w["picker"] = std::move(picker);
    }

    const platform::LibraryPicker* shown = platform.presentedPicker();
    w["pickerScreen"] = shown ? pickerScreen(*shown) : Json(nullptr);

    if (platform.composersMade().empty()) {
        w["mail"] = nullptr;
    } else {
        const auto message = platform.composersMade().back()->message();
        Json mail = Json::object();
        mail["subject"] = json::text(message.subject);
        mail["body"] = json::text(message.body);
        mail["html"] = message.html;
        mail["barStyle"] = message.barStyle;
        w["mail"] = std::move(mail);
    }

    Json alerts = Json::array();
    for (const auto& alert : platform.window().alertsShown()) {
        Json a = Json::object();
        a["title"] = json::text(alert.title);
        a["message"] = json::text(alert.message);
        a["button"] = json::text(alert.cancelButtonTitle);
        alerts.push_back(std::move(a));
    }
    w["alerts"] = std::move(alerts);
}

} // namespace

// --- The whole line ---------------------------------------------------------------------

std::string dumpState(platform::headless::HeadlessPlatform& platform, const SpooloraAppDelegate* delegate,
                      const std::vector<TransitionLogEntry>& transitions)
{
    const Nanoseconds now = platform.clock().now();
    const MainViewController* controller = delegate ? delegate->mainViewController() : nullptr;
    const bool screenBuilt = controller && controller->isViewLoaded();
    // Members about the screen are null until it is built.
    const auto onScreen = [&](const auto& describe) { return screenBuilt ? describe() : Json(nullptr); };

    Json w = Json::object();
    w["time"] = seconds(now);
    w["controller"] = controller ? controllerFields(*controller) : Json(nullptr);
    w["toolbar"] = onScreen([&] { return toolbar(*controller); });
    w["labels"] = onScreen([&] {
        Json labels = Json::object();
        labels["currentTitleLabel"] = label(controller->currentTitleLabel);
        labels["currentArtistAlbumLabel"] = label(controller->currentArtistAlbumLabel);
        return labels;
    });
    w["skin"] = screenBuilt && controller->tapeSkinImageView && controller->tapeSkinImageView->image()
                    ? json::text(controller->tapeSkinImageView->image()->name)
                    : Json(nullptr);

    Json pushes = Json::array();
    for (const TransitionLogEntry& entry : transitions) {
        Json push = Json::object();
        push["subtype"] = entry.subtype == platform::TransitionSubtype::FromLeft ? "fromLeft" : "fromRight";
        push["at"] = seconds(entry.at);
        pushes.push_back(std::move(push));
    }
    w["transitions"] = std::move(pushes);

    w["cassette"] = onScreen([&] { return cassette(*controller); });
    w["tapeRolls"] = onScreen([&] { return tapeRolls(*controller); });
    w["reels"] = onScreen([&] { return reels(*controller, now); });
    w["player"] = player(platform.scriptedPlayer());

    platform::UserDefaults& defaults = platform.standardUserDefaults();
    Json preferences = Json::object();
    preferences[SpooloraAppDelegate::firstStartupKey] = defaults.integerForKey(SpooloraAppDelegate::firstStartupKey);
    preferences[MainViewController::selectedTapePreferenceKey] =
        defaults.integerForKey(MainViewController::selectedTapePreferenceKey);
    w["preferences"] = std::move(preferences);
    w["idleTimerDisabled"] = platform.isIdleTimerDisabled();
    addModalRecords(w, platform);
    return json::oneLine(w);
}

} // namespace spoolora
