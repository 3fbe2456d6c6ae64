// SPDX-FileCopyrightText: 2026 ternwick
// SPDX-License-Identifier: MIT
#include "picture/helper/helper_launcher.h"

#include "picture/helper/bounded_call.h"
#include "platform/program_files.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <sys/socket.h>
#include <vector>

namespace kavelora::picture {

namespace {

// The helper's end of the socket, where it expects it.
constexpr int kHelperSocket = 3;

// A start takes a millisecond or two; far longer, it waits on a stalled file system.
constexpr std::chrono::milliseconds kSpawnTimeLimit{2000};

class SpawnSetup
{
public:
    explicit SpawnSetup(int helperSocket)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
#if !defined(__SANITIZE_ADDRESS__)
        // A sanitizer's report is the one thing worth reading from the helper.
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#endif
        posix_spawn_file_actions_adddup2(&actions, helperSocket, kHelperSocket);
        posix_spawn_file_actions_addclosefrom_np(&actions, kHelperSocket + 1);
        sigset_t signals;
        sigemptyset(&signals);
        posix_spawnattr_setsigmask(&attributes, &signals);
        sigfillset(&signals);
        posix_spawnattr_setsigdefault(&attributes, &signals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The helper's whole environment. Nothing it links reads a variable it needs: Qt's logging
// rules and plugin paths would only widen what it loads, its messages go nowhere, it
// formats no text for a locale, and it sets its allocator's tuning itself. Only the
// sanitizers, in sanitizer builds, read their options from the environment.
std::vector<QByteArray> helperEnvironment()
{
    std::vector<QByteArray> variables;
#if defined(__SANITIZE_ADDRESS__)
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (qEnvironmentVariableIsSet(name))
            variables.push_back(QByteArray(name) + '=' + qgetenv(name));
    }
#endif
    return variables;
}

struct Spawned
{
    HelperProcess process;
    int error = 0;
};

Spawned spawn(std::vector<QByteArray> words, std::vector<QByteArray> variables, int helperSocket)
{
    std::vector<char*> arguments;
    for (QByteArray& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    std::vector<char*> environment;
    for (QByteArray& variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    const SpawnSetup setup(helperSocket);
    pid_t helper = 0;
    Spawned spawned;
    spawned.error = ::posix_spawn(&helper, arguments.front(), &setup.actions, &setup.attributes,
                                  arguments.data(), environment.data());
    if (spawned.error == 0)
        spawned.process = HelperProcess(helper);
    return spawned;
}

} // namespace

SpawningLauncher::SpawningLauncher(QString program, QStringList arguments)
    : m_program(std::move(program))
    , m_arguments(std::move(arguments))
{}

LaunchedHelper SpawningLauncher::launch()
{
    LaunchedHelper launched;
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        launched.failure =
            QStringLiteral("no socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return launched;
    }
    protocol::UniqueDescriptor mine(ends[0]);
    protocol::UniqueDescriptor theirs(ends[1]);
    // dup2 onto itself would leave close-on-exec set.
    if (theirs.get() == kHelperSocket)
        theirs =
            protocol::UniqueDescriptor(::fcntl(theirs.get(), F_DUPFD_CLOEXEC, kHelperSocket + 1));
    // The viewer's sends wait for room only as long as its request may take.
    ::fcntl(mine.get(), F_SETFL, ::fcntl(mine.get(), F_GETFL) | O_NONBLOCK);

    std::vector<QByteArray> words{QFile::encodeName(m_program)};
    for (const QString& argument : m_arguments)
        words.push_back(argument.toLocal8Bit());
    // Off the GUI thread: the new process closes every descriptor the viewer holds, and
    // closing a file on a hung FUSE mount waits on its daemon, as long as that takes. Always
    // the same thread, for the helper asks to be killed when the thread that started it ends.
    std::optional<Spawned> spawned = BoundedCall::runOnLastingThread<Spawned>(
        [words, environment = helperEnvironment(),
         helperSocket = std::make_shared<protocol::UniqueDescriptor>(std::move(theirs))] {
            return spawn(words, environment, helperSocket->get());
        },
        kSpawnTimeLimit);
    if (!spawned) {
        launched.failure = QStringLiteral("%1 did not start within %2 ms")
                               .arg(m_program)
                               .arg(kSpawnTimeLimit.count());
        return launched;
    }
    if (spawned->error != 0) {
        launched.failure = QStringLiteral("cannot run %1: %2")
                               .arg(m_program, QString::fromLocal8Bit(strerror(spawned->error)));
        return launched;
    }
    launched.socket = std::move(mine);
    launched.process = std::move(spawned->process);
    return launched;
}

std::unique_ptr<HelperLauncher> installedHelper()
{
    return std::make_unique<SpawningLauncher>(
        platform::besideProgram(QStringLiteral(KAVELORA_DECODER_RELATIVE_PATH)));
}

} // namespace kavelora::picture
