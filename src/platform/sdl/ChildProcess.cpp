#include "platform/sdl/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace platform::sdl {

namespace {

// The children started here and not yet reaped; 0 marks a free slot. A fixed table
// of atomics, because the SIGCHLD handler reads and clears it.
constexpr std::size_t childSlots = 32;
std::array<std::atomic<pid_t>, childSlots> children{};
struct sigaction previousChildAction{};

// Waits for those of our children that have ended, without blocking. Safe in a
// signal handler: only waitpid and atomics.
void reapEndedChildren() noexcept
{
    for (auto& slot : children) {
        const pid_t pid = slot.load();
        if (pid <= 0)
            continue;
        const pid_t done = waitpid(pid, nullptr, WNOHANG);
        // ECHILD: another thread's handler reaped it first.
        if (done == pid || (done < 0 && errno == ECHILD)) {
            pid_t expected = pid;
            slot.compare_exchange_strong(expected, 0);
        }
    }
}

void onChildEnded(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    reapEndedChildren();
    // Whoever handled SIGCHLD before us still hears about their own children.
    if (previousChildAction.sa_flags & SA_SIGINFO) {
        if (previousChildAction.sa_sigaction)
            previousChildAction.sa_sigaction(signal, info, context);
    } else if (previousChildAction.sa_handler != SIG_DFL && previousChildAction.sa_handler != SIG_IGN) {
        previousChildAction.sa_handler(signal);
    }
    errno = savedErrno;
}

void installReaper()
{
    static const bool installed = [] {
        struct sigaction action{};
        action.sa_sigaction = onChildEnded;
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGCHLD, &action, &previousChildAction) == 0;
    }();
    (void)installed;
}

bool remember(pid_t pid) noexcept
{
    for (auto& slot : children) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, pid))
            return true;
    }
    return false;
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};

    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            posix_spawn_file_actions_addopen(&actions, stream, "/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY,
                                             0);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        // Signals the player ignores or handles start out at their defaults in the child.
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP})
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

std::optional<std::string> findExecutable(const std::string& command)
{
    if (command.empty())
        return std::nullopt;
    if (command.find('/') != std::string::npos)
        return access(command.c_str(), X_OK) == 0 ? std::optional(command) : std::nullopt;
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, colon - start);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + command;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = colon + 1;
    }
    return std::nullopt;
}

std::optional<pid_t> startDetached(const std::string& program, const std::vector<std::string>& arguments)
{
    installReaper();
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    pid_t pid = 0;
    // glibc's posix_spawn reports a failed exec as its result, so a child that
    // exists here is running the program.
    if (posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), environ) != 0)
        return std::nullopt;
    if (!remember(pid)) {
        // Too many helpers still running to keep track of: this one is waited for
        // when it ends, by the next call that finds it finished.
        reapEndedChildren();
        remember(pid);
    }
    // It may have ended before it was in the table, its SIGCHLD gone unanswered.
    reapEndedChildren();
    return pid;
}

} // namespace platform::sdl
