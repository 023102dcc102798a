// Process entry: reads the command line and starts the player in a window, or
// runs a script headless (--script).

#include "app/KeyMap.h"
#include "app/MprisBridge.h"
#include "app/ScriptRunner.h"
#include "app/SpooloraAppDelegate.h"
#include "app/WindowTitle.h"
#include "media/OpenFiles.h"
#include "media/SavedPlayerState.h"
#include "media/SystemMusicPlayer.h"
#include "media/library/MusicFolders.h"
#include "media/library/ScanCommand.h"
#include "media/library/SqliteMusicLibrary.h"
#include "platform/headless/HeadlessPlatform.h"
#include "platform/sdl/DesktopWindow.h"
#include "platform/sdl/Mpris.h"
#include "platform/sdl/Screenshot.h"
#include "platform/sdl/SdlPlatform.h"

#include <malloc.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#ifndef SPOOLORA_VERSION
#define SPOOLORA_VERSION "unknown"
#endif

namespace {

constexpr const char* usageLine =
    "usage: spoolora [--config-dir DIR] [--scale N] [--fullscreen] [--music DIR]... [FILE...]\n"
    "       spoolora --script FILE|- [--config-dir DIR]\n"
    "       spoolora --scan [--music DIR]...";

struct Arguments {
    std::optional<std::string> script;
    std::optional<std::filesystem::path> configDir;
    float scale = 0; // 0: fit the display
    bool fullscreen = false;
    bool help = false;
    bool version = false;
    // Music to play: files, folders and playlists.
    std::vector<std::string> files;
    bool scan = false;
    std::vector<std::string> music;   // replaces the XDG music folder for this run
};

std::string scaleText(float scale)
{
    char text[16];
    std::snprintf(text, sizeof text, "%g", double(scale));
    return text;
}

struct BadArguments {
    std::string message;
};

// Accepts "--name value" and "--name=value".
class ArgumentReader {
public:
    ArgumentReader(int argc, char** argv) : argc_(argc), argv_(argv) {}

    Arguments read()
    {
        Arguments args;
        for (index_ = 1; index_ < argc_; ++index_) {
            std::string_view arg = argv_[index_];
            inlineValue_.reset();
            if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
                inlineValue_ = std::string(arg.substr(eq + 1));
                arg = arg.substr(0, eq);
            }
            if (arg == "--script")
                args.script = once(args.script, arg, value(arg));
            else if (arg == "--config-dir")
                args.configDir = once(args.configDir, arg, configFolder(value(arg)));
            else if (arg == "--scale")
                args.scale = scale(value(arg));
            else if (arg == "--fullscreen")
                args.fullscreen = flag(arg);
            else if (arg == "--help" || arg == "-h")
                args.help = flag(arg);
            else if (arg == "--version")
                args.version = flag(arg);
            else if (arg == "--scan")
                args.scan = flag(arg);
            else if (arg == "--music")
                args.music.push_back(value(arg));
            else if (arg == "--")
                takeFiles(index_ + 1, args);
            else if (arg.starts_with("-") && arg != "-")
                throw BadArguments{"unknown argument \"" + std::string(argv_[index_]) + "\""};
            else
                args.files.emplace_back(argv_[index_]);
        }
        return args;
    }

private:
    // Everything after "--" is a file, even when it starts with a dash.
    void takeFiles(int from, Arguments& args)
    {
        for (; from < argc_; ++from)
            args.files.emplace_back(argv_[from]);
        index_ = argc_;
    }

    std::string value(std::string_view name)
    {
        if (inlineValue_)
            return *inlineValue_;
        if (index_ + 1 >= argc_)
            throw BadArguments{std::string(name) + " needs a value"};
        return argv_[++index_];
    }

    // A second value would silently win over the first: say so instead.
    template <class Value>
    static Value once(const std::optional<Value>& earlier, std::string_view name, Value value)
    {
        if (earlier)
            throw BadArguments{std::string(name) + " is given twice"};
        return value;
    }

    // An empty name would put the preferences into the folder the player was started from.
    static std::filesystem::path configFolder(const std::string& text)
    {
        if (text.empty())
            throw BadArguments{"--config-dir needs a folder, not an empty name"};
        return text;
    }

    bool flag(std::string_view name) const
    {
        if (inlineValue_)
            throw BadArguments{std::string(name) + " takes no value"};
        return true;
    }

    static float scale(const std::string& text)
    {
        float value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        // 0 asks for the scale that fits the display, as leaving the option out does.
        const bool number = error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
        if (!number || (value != 0 && (value < platform::sdl::minimumScale || value > platform::sdl::maximumScale)))
            throw BadArguments{"--scale takes a number from " + scaleText(platform::sdl::minimumScale) + " to " +
                               scaleText(platform::sdl::maximumScale) + ", or 0 to fit the display, not \"" +
                               text + "\""};
        return value;
    }

    int argc_;
    char** argv_;
    int index_ = 1;
    std::optional<std::string> inlineValue_;
};

void printHelp()
{
    std::cout << usageLine << "\n\n"
              << "A cassette-deck music player.\n\n"
              << "Options:\n"
              << "  --script FILE|-    run the commands of FILE (or standard input) headless, then exit\n"
              << "  --config-dir DIR   keep the preferences in DIR (default: $XDG_CONFIG_HOME/spoolora;\n"
              << "                     scripts keep them in memory unless this is given)\n"
              << "  --scale N          window pixels per point, " << scaleText(platform::sdl::minimumScale) << " to "
              << scaleText(platform::sdl::maximumScale) << " (default, or 0: to fit the display)\n"
              << "  --fullscreen       fill the display; the picture takes the largest whole scale that\n"
              << "                     fits (or the --scale given), centred between black bars\n"
              << "  --music DIR        look for music in DIR instead of the XDG music folder (repeatable)\n"
              << "  --scan             bring the music library's index up to date, then exit\n"
              << "  --help             show this text\n"
              << "  --version          show the version\n"
              << "  FILE...            play these files, folders (taken whole, in name order) and\n"
              << "                     .m3u/.m3u8 playlists, in the order given\n\n";
    std::cout << "Keys in the window:\n" << spoolora::keyboardHelp() << "\n";
    std::cout << spoolora::scriptHelpText();
}

int runScript(const Arguments& args)
{
    // Scripts keep their preferences in memory unless a folder is named.
    std::unique_ptr<platform::headless::HeadlessPlatform> platform =
        args.configDir ? std::make_unique<platform::headless::HeadlessPlatform>(*args.configDir)
                       : std::make_unique<platform::headless::HeadlessPlatform>();
    spoolora::ScriptOptions options;
    options.screenshot = [](platform::Window& window, const std::string& path) {
        return platform::sdl::renderScreenshot(window, window.clock(), path);
    };
    return spoolora::runScriptFile(*args.script, *platform, std::move(options), std::cout, std::cerr);
}

// The listener's folders (or those given), and always the demo tape.
std::vector<std::string> musicFolders(const Arguments& args)
{
    std::vector<std::string> folders = args.music;
    if (folders.empty())
        folders.push_back(media::defaultMusicFolder());
    const std::filesystem::path demo = platform::sdl::resourceDirectory() / "demo";
    std::error_code ignored;
    if (std::filesystem::is_directory(demo, ignored))
        folders.push_back(demo.string());
    return folders;
}

int runScan(const Arguments& args)
{
    return media::runLibraryScan(musicFolders(args), media::defaultLibraryDatabasePath(), isatty(STDOUT_FILENO) != 0,
                                 std::cout, std::cerr);
}


// 0 (or no preference) track gain, 1 album gain, 2 none.
constexpr const char* replayGainPreferenceKey = "replayGainPreference";

media::ReplayGainMode replayGainModeForPreference(std::int64_t value)
{
    if (value == 1)
        return media::ReplayGainMode::Album;
    if (value == 2)
        return media::ReplayGainMode::Off;
    return media::ReplayGainMode::Track;
}

// The player in a desktop window, on the desktop backend, with the audio engine.
int runWindow(const Arguments& args)
{
    // Large blocks (pictures and layers that come and go with the skins, a cover picture
    // read with a file's tags) are served from their own mappings, so that they go back
    // to the system when freed. Left to itself, glibc raises this threshold to the
    // largest block freed so far, and blocks below it then stay in the freeing thread's heap.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // Files named on the command line become the queue and play, as when a file
    // manager opens them with the player.
    std::vector<platform::MediaItemPtr> opened;
    if (!args.files.empty()) {
        opened = media::itemsForArguments(args.files, std::cerr);
        if (opened.empty()) {
            std::cerr << "spoolora: nothing playable in the files given\n";
            return 1;
        }
    }
    // One player per desktop: a second start hands its files to the running one and
    // brings it to the front.
    std::vector<std::string> paths;
    for (const platform::MediaItemPtr& item : opened)
        paths.push_back(item->location);
    if (platform::sdl::MprisService::handToRunningPlayer(paths) == platform::sdl::MprisService::HandOff::HandedOver)
        return 0;

    // Otherwise the player comes back as it was left, paused.
    const std::filesystem::path stateFile = media::defaultStateFolder() / "player.json";
    std::optional<media::RestoredPlayer> restored;
    if (opened.empty())
        restored = media::loadPlayerState(stateFile);

    platform::sdl::DesktopWindowOptions windowOptions;
    windowOptions.scale = args.scale;
    windowOptions.fullscreen = args.fullscreen;
    const std::unique_ptr<platform::sdl::DesktopWindow> desktop = platform::sdl::DesktopWindow::open(windowOptions);
    if (!desktop)
        return 1;

    platform::sdl::SdlPlatformOptions platformOptions;
    if (args.configDir)
        platformOptions.configFolder = *args.configDir;
    // The picker lists the music given on the command line, or the restored queue.
    platformOptions.library = restored ? restored->items : opened;
    media::SystemMusicPlayer* engine = nullptr;
    platformOptions.makeMusicPlayer = [&engine](const platform::BackendServices& services) {
        auto player = std::make_unique<media::SystemMusicPlayer>(services.runLoop, services.center);
        engine = player.get();
        return player;
    };
    // The listener's music, indexed on a worker thread from the moment the window opens.
    platformOptions.makeMusicLibrary = [&args](const platform::BackendServices& services) {
        return std::make_unique<media::SqliteMusicLibrary>(
            services.runLoop, media::LibrarySettings{musicFolders(args), media::defaultLibraryDatabasePath()});
    };
    const std::unique_ptr<platform::sdl::SdlPlatform> backend =
        platform::sdl::makeSdlPlatform(std::move(platformOptions));
    // The listener's volume and output device, before anything plays.
    backend->volumeControl();
    engine->setReplayGainMode(
        replayGainModeForPreference(backend->standardUserDefaults().integerForKey(replayGainPreferenceKey)));
    // Saved on every item change, pause and quit, and every 10 s while playing.
    media::PlayerStateKeeper keeper(*engine, backend->runLoop(), stateFile);
    if (!opened.empty()) {
        engine->setQueueWithItemCollection(platform::MediaItemCollection{opened});
        engine->play();
    } else if (restored) {
        engine->restore(restored->items, restored->index, restored->position, restored->repeatMode,
                        restored->unread);
    }

    // The controller's timers and subscriptions end (with the delegate) before the backend goes.
    const std::unique_ptr<SpooloraAppDelegate> delegate = makeApplicationDelegate(*backend);
    platform::Window& window = backend->window();
    spoolora::KeyMap keys(*delegate, window, [&desktop] { desktop->quit(); });
    window.setKeyCommandHandler(
        [&keys](const platform::KeyEvent& event, platform::KeyPhase phase) { return keys.keyEvent(event, phase); });
    struct Unhook {
        platform::Window& window;
        ~Unhook() { window.setKeyCommandHandler({}); }
    } unhook{window};

    std::optional<spoolora::WindowTitleKeeper> title;
    // Media keys and the desktop's sound menu, once the screen exists; it ends before the delegate.
    std::unique_ptr<spoolora::MprisSession> bus;
    platform::sdl::ApplicationHooks hooks;
    hooks.didFinishLaunching = [&] {
        delegate->applicationDidFinishLaunching();
        title.emplace(backend->systemMusicPlayer(), backend->defaultCenter(),
                      [&desktop](const std::string& text) { desktop->setTitle(text); });
        spoolora::MprisBridge::Hooks busHooks;
        busHooks.raise = [&desktop] { desktop->raise(); };
        busHooks.quit = [&desktop] { desktop->quit(); };
        busHooks.itemsForPaths = [](const std::vector<std::string>& paths) {
            return media::itemsForArguments(paths, std::cerr);
        };
        if (MainViewController* controller = delegate->mainViewController())
            bus = spoolora::MprisSession::start(*backend, *controller, std::move(busHooks));
    };
    hooks.didBecomeActive = [&delegate] { delegate->applicationDidBecomeActive(); };
    hooks.willTerminate = [&delegate, &keeper] {
        delegate->applicationWillTerminate();
        keeper.save();
    };
    return desktop->run(*backend, hooks);
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    try {
        args = ArgumentReader(argc, argv).read();
    } catch (const BadArguments& bad) {
        std::cerr << "spoolora: " << bad.message << '\n' << usageLine << '\n';
        return 2;
    }
    if (args.help) {
        printHelp();
        return 0;
    }
    if (args.version) {
        std::cout << "spoolora " << SPOOLORA_VERSION << '\n';
        return 0;
    }
    try {
        if (args.scan)
            return runScan(args);
        if (args.script)
            return runScript(args);
        return runWindow(args);
    } catch (const std::exception& e) {
        std::cerr << "spoolora: " << e.what() << '\n';
        return 1;
    }
}
