#include "platform/sdl/Mpris.h"

#include <gio/gio.h>

#include <cstdio>
#include <filesystem>

// Sections: the interfaces · values on the bus · calls and properties · the service.

namespace platform::sdl {

namespace {

constexpr const char* busName = "org.mpris.MediaPlayer2.spoolora";
constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
constexpr const char* rootInterface = "org.mpris.MediaPlayer2";
constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
// The player's own: several files at once (as file: addresses), for a second start with many files.
constexpr const char* openFilesInterface = "example.spoolora.Spoolora";
constexpr const char* noTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// --- The interfaces ---------------------------------------------------------------------------

constexpr const char* introspection = R"(
<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Shuffle" type="b" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
  <interface name="example.spoolora.Spoolora">
    <method name="OpenUris"><arg direction="in" name="Uris" type="as"/></method>
  </interface>
</node>)";

// The audio types the desktop entry opens.
constexpr const char* mimeTypes[] = {
    "audio/mpeg", "audio/mp4", "audio/x-m4a", "audio/aac", "audio/flac", "audio/x-flac", "audio/ogg",
    "audio/x-vorbis+ogg", "audio/vorbis", "audio/opus", "audio/x-opus+ogg", "audio/wav", "audio/x-wav",
    "audio/vnd.wave", "audio/aiff", "audio/x-aiff", "audio/x-mpegurl", "audio/mpegurl", nullptr};

// --- Values on the bus -------------------------------------------------------------------------

// Tags and file names may hold any bytes; the bus takes only UTF-8.
GVariant* text(const std::string& bytes)
{
    gchar* valid = g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size()));
    GVariant* value = g_variant_new_string(valid);
    g_free(valid);
    return value;
}

GVariant* metadata(const MprisState& state)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    const bool validId = g_variant_is_object_path(state.trackId.c_str());
    g_variant_builder_add(&builder, "{sv}", "mpris:trackid",
                          g_variant_new_object_path(state.hasTrack && validId ? state.trackId.c_str() : noTrack));
    if (state.hasTrack) {
        g_variant_builder_add(&builder, "{sv}", "mpris:length", g_variant_new_int64(state.lengthMicroseconds));
        g_variant_builder_add(&builder, "{sv}", "xesam:title", text(state.title));
        GVariantBuilder artists;
        g_variant_builder_init(&artists, G_VARIANT_TYPE("as"));
        if (!state.artist.empty())
            g_variant_builder_add_value(&artists, text(state.artist));
        g_variant_builder_add(&builder, "{sv}", "xesam:artist", g_variant_builder_end(&artists));
        g_variant_builder_add(&builder, "{sv}", "xesam:album", text(state.album));
        if (state.trackNumber > 0)
            g_variant_builder_add(&builder, "{sv}", "xesam:trackNumber", g_variant_new_int32(state.trackNumber));
        if (!state.url.empty())
            g_variant_builder_add(&builder, "{sv}", "xesam:url", text(state.url));
    }
    return g_variant_builder_end(&builder);
}

// A property of the player interface, or nullptr when there is none of that name.
GVariant* playerProperty(const std::string& name, const MprisState& state)
{
    if (name == "PlaybackStatus")
        return g_variant_new_string(state.playbackStatus.c_str());
    if (name == "LoopStatus")
        return g_variant_new_string(state.loopStatus.c_str());
    if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate")
        return g_variant_new_double(1.0);
    if (name == "Shuffle")
        return g_variant_new_boolean(FALSE);
    if (name == "Metadata")
        return metadata(state);
    if (name == "Volume")
        return g_variant_new_double(state.volume);
    if (name == "Position")
        return g_variant_new_int64(state.positionMicroseconds);
    if (name == "CanGoNext")
        return g_variant_new_boolean(state.canGoNext);
    if (name == "CanGoPrevious")
        return g_variant_new_boolean(state.canGoPrevious);
    if (name == "CanPlay")
        return g_variant_new_boolean(state.canPlay);
    if (name == "CanPause")
        return g_variant_new_boolean(state.canPause);
    if (name == "CanSeek")
        return g_variant_new_boolean(state.canSeek);
    if (name == "CanControl")
        return g_variant_new_boolean(TRUE);
    return nullptr;
}

// The properties whose changes are announced; Position is read when wanted, as
// the interface says, and the fixed ones never change.
constexpr const char* announcedProperties[] = {"PlaybackStatus", "LoopStatus", "Metadata", "Volume", "CanGoNext",
                                               "CanGoPrevious",  "CanPlay",    "CanPause", "CanSeek"};

} // namespace

// --- Calls and properties -------------------------------------------------------------------------

struct MprisService::Connection {
    MprisHandler& handler;
    std::string desktopEntry;
    GDBusConnection* bus = nullptr;
    GDBusNodeInfo* node = nullptr;
    guint rootRegistration = 0;
    guint playerRegistration = 0;
    guint openFilesRegistration = 0;
    std::optional<MprisState> announced;

    Connection(MprisHandler& h, std::string entry) : handler(h), desktopEntry(std::move(entry)) {}
    ~Connection()
    {
        if (bus) {
            if (rootRegistration)
                g_dbus_connection_unregister_object(bus, rootRegistration);
            if (playerRegistration)
                g_dbus_connection_unregister_object(bus, playerRegistration);
            if (openFilesRegistration)
                g_dbus_connection_unregister_object(bus, openFilesRegistration);
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        if (node)
            g_dbus_node_info_unref(node);
        // Let the closing reach the bus and GLib drop what it held for the connection.
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static void methodCall(GDBusConnection*, const gchar*, const gchar*, const gchar* interface, const gchar* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        static_cast<Connection*>(self)->call(interface, method, parameters, invocation);
    }

    static gboolean setProperty(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                                const gchar* name, GVariant* value, GError** error, gpointer self)
    {
        return static_cast<Connection*>(self)->changeProperty(interface, name, value, error);
    }

    static GVariant* getProperty(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                                 const gchar* name, GError** error, gpointer self)
    {
        return static_cast<Connection*>(self)->property(interface, name, error);
    }

    void call(const std::string& interface, const std::string& method, GVariant* parameters,
              GDBusMethodInvocation* invocation)
    {
        if (interface == rootInterface) {
            if (method == "Raise")
                handler.mprisRaise();
            else if (method == "Quit")
                handler.mprisQuit();
            g_dbus_method_invocation_return_value(invocation, nullptr);
            return;
        }
        if (interface == openFilesInterface) {
            GVariantIter* iterator = nullptr;
            g_variant_get(parameters, "(as)", &iterator);
            std::vector<std::string> paths;
            const gchar* uri = nullptr;
            bool allLocal = true;
            while (g_variant_iter_loop(iterator, "&s", &uri)) {
                const auto path = pathFromUri(uri);
                allLocal = allLocal && path.has_value();
                if (path)
                    paths.push_back(*path);
            }
            g_variant_iter_free(iterator);
            if (!allLocal) {
                g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                      "only local file: addresses can be opened");
                return;
            }
            handler.mprisOpenFiles(paths);
            g_dbus_method_invocation_return_value(invocation, nullptr);
            return;
        }
        if (method == "OpenUri") {
            const gchar* uri = nullptr;
            g_variant_get(parameters, "(&s)", &uri);
            const auto path = pathFromUri(uri);
            if (!path) {
                g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                      "only local file: addresses can be opened");
                return;
            }
            handler.mprisOpenFiles({*path});
        } else if (method == "Seek") {
            gint64 offset = 0;
            g_variant_get(parameters, "(x)", &offset);
            // Without seeking, the interface asks a player to ignore it.
            if (handler.mprisState().canSeek) {
                handler.mprisSeek(offset);
                announceSeek();
            }
        } else if (method == "SetPosition") {
            const gchar* trackId = nullptr;
            gint64 position = 0;
            g_variant_get(parameters, "(&ox)", &trackId, &position);
            const MprisState state = handler.mprisState();
            // A stale track or a position outside it is ignored, as the interface says.
            if (state.canSeek && state.hasTrack && state.trackId == trackId && position >= 0 &&
                position <= state.lengthMicroseconds) {
                handler.mprisSetPosition(trackId, position);
                announceSeek();
            }
        } else if (method == "Next") {
            handler.mprisNext();
        } else if (method == "Previous") {
            handler.mprisPrevious();
        } else if (method == "Pause") {
            handler.mprisPause();
        } else if (method == "PlayPause") {
            handler.mprisPlayPause();
        } else if (method == "Stop") {
            handler.mprisStop();
        } else if (method == "Play") {
            handler.mprisPlay();
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    // A jump of the position is told to listeners, who would otherwise go on counting
    // from where they last read it.
    void announceSeek()
    {
        emit("Seeked", g_variant_new("(x)", static_cast<gint64>(handler.mprisState().positionMicroseconds)),
             playerInterface);
    }

    gboolean changeProperty(const std::string& interface, const std::string& name, GVariant* value, GError** error)
    {
        if (interface == playerInterface && name == "Volume" && g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) {
            handler.mprisSetVolume(g_variant_get_double(value));
            return TRUE;
        }
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_PROPERTY_READ_ONLY, "property %s cannot be set", name.c_str());
        return FALSE;
    }

    GVariant* property(const std::string& interface, const std::string& name, GError** error)
    {
        GVariant* value = nullptr;
        if (interface == rootInterface) {
            if (name == "CanQuit" || name == "CanRaise")
                value = g_variant_new_boolean(TRUE);
            else if (name == "HasTrackList")
                value = g_variant_new_boolean(FALSE);
            else if (name == "Identity")
                value = g_variant_new_string("Spoolora");
            else if (name == "DesktopEntry")
                value = g_variant_new_string(desktopEntry.c_str());
            else if (name == "SupportedUriSchemes") {
                const char* schemes[] = {"file", nullptr};
                value = g_variant_new_strv(schemes, -1);
            } else if (name == "SupportedMimeTypes")
                value = g_variant_new_strv(mimeTypes, -1);
        } else {
            value = playerProperty(name, handler.mprisState());
        }
        if (!value)
            g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name.c_str());
        return value;
    }

    void emit(const char* member, GVariant* parameters, const char* interface)
    {
        GError* error = nullptr;
        if (!g_dbus_connection_emit_signal(bus, nullptr, objectPath, interface, member, parameters, &error)) {
            std::fprintf(stderr, "spoolora: cannot announce on the session bus: %s\n", error->message);
            g_error_free(error);
        }
    }
};

// --- The service ----------------------------------------------------------------------------------

MprisService::MprisService(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

MprisService::~MprisService() = default;

namespace {

// A connection of our own to the session bus, not GLib's shared one, so that it ends with its user.
GDBusConnection* connectToSessionBus(GError** error)
{
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, error);
    if (!address)
        return nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, error);
    g_free(address);
    if (bus)
        g_dbus_connection_set_exit_on_close(bus, FALSE);
    return bus;
}

} // namespace

std::unique_ptr<MprisService> MprisService::start(MprisHandler& handler, const std::string& desktopEntry)
{
    auto connection = std::make_unique<Connection>(handler, desktopEntry);
    GError* error = nullptr;
    auto fail = [&](const char* what) -> std::unique_ptr<MprisService> {
        std::fprintf(stderr, "spoolora: running without the session bus (%s%s%s)\n", what, error ? ": " : "",
                     error ? error->message : "");
        if (error)
            g_error_free(error);
        return nullptr;
    };

    connection->bus = connectToSessionBus(&error);
    if (!connection->bus)
        return fail("no session bus");

    connection->node = g_dbus_node_info_new_for_xml(introspection, &error);
    if (!connection->node)
        return fail("bad interface description");
    static const GDBusInterfaceVTable vtable = {Connection::methodCall, Connection::getProperty,
                                                Connection::setProperty, {}};
    connection->rootRegistration = g_dbus_connection_register_object(
        connection->bus, objectPath, g_dbus_node_info_lookup_interface(connection->node, rootInterface), &vtable,
        connection.get(), nullptr, &error);
    if (!connection->rootRegistration)
        return fail("cannot offer the player");
    connection->playerRegistration = g_dbus_connection_register_object(
        connection->bus, objectPath, g_dbus_node_info_lookup_interface(connection->node, playerInterface), &vtable,
        connection.get(), nullptr, &error);
    if (!connection->playerRegistration)
        return fail("cannot offer the player");
    connection->openFilesRegistration = g_dbus_connection_register_object(
        connection->bus, objectPath, g_dbus_node_info_lookup_interface(connection->node, openFilesInterface), &vtable,
        connection.get(), nullptr, &error);
    if (!connection->openFilesRegistration)
        return fail("cannot offer the player");

    // Asked once at start, so that a second player learns at once that it is second.
    constexpr guint32 doNotQueue = 4;
    GVariant* reply = g_dbus_connection_call_sync(
        connection->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", busName, doNotQueue), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
        &error);
    if (!reply)
        return fail("cannot take the name");
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    constexpr guint32 primaryOwner = 1;
    if (result != primaryOwner)
        return fail("another player has the name");
    auto service = std::unique_ptr<MprisService>(new MprisService(std::move(connection)));
    service->refresh();
    return service;
}

void MprisService::dispatch()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

void MprisService::refresh()
{
    Connection& c = *connection_;
    MprisState state = c.handler.mprisState();
    // The position moves all the time and is not announced.
    if (c.announced) {
        state.positionMicroseconds = c.announced->positionMicroseconds;
        if (state == *c.announced)
            return;
    }
    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    bool any = false;
    for (const char* name : announcedProperties) {
        GVariant* now = playerProperty(name, state);
        GVariant* before = c.announced ? playerProperty(name, *c.announced) : nullptr;
        g_variant_ref_sink(now);
        if (before)
            g_variant_ref_sink(before);
        if (!before || !g_variant_equal(now, before)) {
            g_variant_builder_add(&changed, "{sv}", name, now);
            any = true;
        }
        g_variant_unref(now);
        if (before)
            g_variant_unref(before);
    }
    const bool first = !c.announced;
    c.announced = state;
    if (!any || first) {
        // Nobody listened before the first state: it is read, not announced.
        g_variant_builder_clear(&changed);
        return;
    }
    GVariantBuilder invalidated;
    g_variant_builder_init(&invalidated, G_VARIANT_TYPE("as"));
    c.emit("PropertiesChanged",
           g_variant_new("(sa{sv}as)", playerInterface, &changed, &invalidated),
           "org.freedesktop.DBus.Properties");
    g_dbus_connection_flush(c.bus, nullptr, nullptr, nullptr);
}

void MprisService::seeked(std::int64_t positionMicroseconds)
{
    connection_->emit("Seeked", g_variant_new("(x)", static_cast<gint64>(positionMicroseconds)), playerInterface);
}

MprisService::HandOff MprisService::handToRunningPlayer(const std::vector<std::string>& paths)
{
    GError* error = nullptr;
    GDBusConnection* bus = connectToSessionBus(&error);
    if (!bus) {
        g_error_free(error);
        return HandOff::NoBus;
    }
    auto call = [&](const char* service, const char* path, const char* interface, const char* method,
                    GVariant* parameters, const GVariantType* replyType) {
        GVariant* reply = g_dbus_connection_call_sync(bus, service, path, interface, method, parameters, replyType,
                                                      G_DBUS_CALL_FLAGS_NO_AUTO_START, 10000, nullptr, &error);
        return reply;
    };
    HandOff result = HandOff::NoRunningPlayer;
    GVariant* owner = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                           g_variant_new("(s)", busName), G_VARIANT_TYPE("(b)"));
    gboolean running = FALSE;
    if (owner) {
        g_variant_get(owner, "(b)", &running);
        g_variant_unref(owner);
    }
    if (running) {
        GVariant* reply = nullptr;
        if (paths.empty()) {
            reply = call(busName, objectPath, rootInterface, "Raise", nullptr, nullptr);
        } else if (paths.size() == 1) {
            reply = call(busName, objectPath, playerInterface, "OpenUri",
                         g_variant_new("(s)", fileUri(paths.front()).c_str()), nullptr);
        } else {
            GVariantBuilder list;
            g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
            // As addresses: a path may hold bytes that are not UTF-8, which the bus refuses.
            for (const std::string& path : paths)
                g_variant_builder_add(&list, "s", fileUri(path).c_str());
            reply = call(busName, objectPath, openFilesInterface, "OpenUris", g_variant_new("(as)", &list), nullptr);
        }
        if (reply) {
            g_variant_unref(reply);
            result = HandOff::HandedOver;
        } else {
            std::fprintf(stderr, "spoolora: the running player did not take the files (%s); starting another\n",
                         error ? error->message : "no answer");
        }
    }
    if (error)
        g_error_free(error);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return result;
}

std::string MprisService::fileUri(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    gchar* uri = g_filename_to_uri(error ? path.c_str() : absolute.c_str(), nullptr, nullptr);
    std::string result = uri ? uri : "";
    g_free(uri);
    return result;
}

std::optional<std::string> MprisService::pathFromUri(const std::string& uri)
{
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(uri.c_str(), &host, nullptr);
    std::optional<std::string> result;
    if (path && (!host || std::string(host) == "localhost"))
        result = path;
    g_free(path);
    g_free(host);
    return result;
}

} // namespace platform::sdl
