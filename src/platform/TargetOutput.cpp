#include "platform/TargetOutput.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace platform {

TargetError::TargetError(const std::string &what, int errorNumber)
    : std::runtime_error(what + ": " + std::generic_category().message(errorNumber))
    , m_errorNumber(errorNumber)
{
}

namespace {

using Clock = std::chrono::steady_clock;

// Short enough for the window to keep up with its events while a target is slow.
constexpr std::chrono::milliseconds slice { 20 };

// Closes on every path. A terminal's unsent output is thrown away first: closing a tty waits for it to drain.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
        , m_terminal(::isatty(fd) == 1)
    {
    }
    ~Descriptor()
    {
        if (m_fd < 0)
            return;
        if (m_terminal)
            ::tcflush(m_fd, TCOFLUSH);
        ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    bool isTerminal() const { return m_terminal; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
    bool m_terminal;
};

// A FIFO whose reader went away raises SIGPIPE, which would end the program; write() reports EPIPE instead.
class SigpipeBlocker {
public:
    SigpipeBlocker()
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &m_previousMask);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeBlocker()
    {
        if (!m_wasPending) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec noWait {};
            sigtimedwait(&pipe, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    }
    SigpipeBlocker(const SigpipeBlocker &) = delete;
    SigpipeBlocker &operator=(const SigpipeBlocker &) = delete;

private:
    sigset_t m_previousMask;
    bool m_wasPending;
};

class StallClock {
public:
    StallClock(const TargetOptions &options, const std::string &name)
        : m_options(options)
        , m_name(name)
    {
    }

    void progress() { m_lastProgress = Clock::now(); }

    // Waits at most one slice for fd to take bytes (or just sleeps, for fd -1), then lets the window run.
    void wait(int fd, const char *step)
    {
        const auto left = m_options.stallTimeout - (Clock::now() - m_lastProgress);
        if (left <= Clock::duration::zero())
            throw TargetError(std::string(step) + " " + m_name + " (no progress for "
                    + std::to_string(m_options.stallTimeout.count()) + " ms)",
                ETIMEDOUT);
        const auto timeout = std::min(std::chrono::ceil<std::chrono::milliseconds>(left), slice);
        pollfd writable { fd, POLLOUT, 0 };
        if (::poll(&writable, fd < 0 ? 0 : 1, int(timeout.count())) < 0 && errno != EINTR)
            throw TargetError("poll " + m_name, errno);
        if (m_options.idle)
            m_options.idle();
    }

private:
    const TargetOptions &m_options;
    const std::string &m_name;
    Clock::time_point m_lastProgress = Clock::now();
};

int openTarget(const QByteArray &path, const std::string &name, bool exclusive)
{
    const int flags = O_WRONLY | O_CREAT | (exclusive ? O_EXCL : O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (;;) {
        const int fd = ::open(path.constData(), flags, 0666);
        if (fd >= 0)
            return fd;
        if (errno == EINTR)
            continue;
        if (exclusive && errno == EEXIST)
            throw TargetExists("open " + name, errno);
        throw TargetError("open " + name, errno);
    }
}

void writeAll(int fd, QByteArrayView bytes, StallClock &stall, const std::string &name)
{
    const char *next = bytes.data();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written > 0) {
            next += written;
            left -= size_t(written);
            stall.progress();
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            throw TargetError("write " + name, errno);
        stall.wait(fd, "write");
    }
}

// close() on a terminal blocks until its queue is sent, so wait for that here, where the window can still run.
void drain(int fd, StallClock &stall, const std::string &name)
{
    int lastQueued = 0;
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) < 0)
            throw TargetError("ioctl TIOCOUTQ " + name, errno);
        if (queued == 0)
            return;
        if (queued < lastQueued)
            stall.progress();
        lastQueued = queued;
        stall.wait(-1, "drain");
    }
}

} // namespace

void writeTarget(const QString &target, QByteArrayView bytes, const TargetOptions &options)
{
    // Never let an unset target fall through to standard output or the current folder.
    if (target.isEmpty())
        throw TargetError("open: empty target name", EINVAL);

    const std::string name = target.toStdString();
    const SigpipeBlocker sigpipeBlocker;
    Descriptor fd(openTarget(QFile::encodeName(target), name, options.exclusive));
    StallClock stall(options, name);
    writeAll(fd.get(), bytes, stall, name);
    if (fd.isTerminal())
        drain(fd.get(), stall, name);
    if (::close(fd.release()) < 0)
        throw TargetError("close " + name, errno);
}

} // namespace platform
