#include "platform/TargetOutput.h"

#include <QFile>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// Closes on every path. A label that failed must not go out later after all: a terminal's unsent output is thrown
// away (closing a tty also waits for it to drain), and a connection is reset rather than closed, which drops what
// the kernel still holds for the printer.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
        , m_terminal(::isatty(fd) == 1)
        , m_socket(isSocket(fd))
    {
    }
    Descriptor(Descriptor &&other) noexcept
        : m_fd(other.release())
        , m_terminal(other.m_terminal)
        , m_socket(other.m_socket)
    {
    }
    ~Descriptor()
    {
        if (m_fd < 0)
            return;
        if (m_terminal)
            ::tcflush(m_fd, TCOFLUSH);
        if (m_socket) {
            const linger reset { 1, 0 };
            ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    bool isTerminal() const { return m_terminal; }
    int release() { return std::exchange(m_fd, -1); }

private:
    static bool isSocket(int fd)
    {
        struct stat status { };
        return fd >= 0 && ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
    }

    int m_fd;
    bool m_terminal;
    bool m_socket;
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
    // An unplugged printer's device node must fail, not become a file under /dev that nobody prints.
    const int create = path.startsWith("/dev/") ? 0 : O_CREAT | (exclusive ? O_EXCL : 0);
    const int flags = O_WRONLY | create | (exclusive ? 0 : O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
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

// close() on a terminal blocks until its queue is sent, so wait for that here, where the window can still run. On a
// socket the same count is what the printer has not yet acknowledged.
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

// A network printer's raw port, as CUPS names it: socket://HOST[:PORT], 9100 by default.
bool isSocketTarget(const QString &target)
{
    return target.startsWith(QLatin1String("socket://"), Qt::CaseInsensitive);
}

// Name lookups run in the background so that a slow name server cannot hold the window. glibc's lookup thread
// writes into the request until it is done, so the request lives on the heap and is freed only then.
struct Lookup {
    QByteArray host;
    QByteArray port;
    addrinfo hints {};
    gaicb request {};
};

addrinfo *resolve(const QString &target, StallClock &stall, const std::string &name)
{
    const QUrl url(target);
    auto lookup = std::make_unique<Lookup>();
    lookup->host = url.host(QUrl::FullyEncoded).toLatin1();
    lookup->port = QByteArray::number(url.port(9100));
    if (!url.isValid() || lookup->host.isEmpty())
        throw TargetError("resolve " + name + " (expected socket://HOST[:PORT])", EINVAL);

    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->host.constData();
    lookup->request.ar_service = lookup->port.constData();
    lookup->request.ar_request = &lookup->hints;
    gaicb *requests[] = { &lookup->request };
    if (const int failed = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr))
        throw TargetError("resolve " + name + ": " + ::gai_strerror(failed), EINVAL);
    for (;;) {
        const int state = ::gai_error(&lookup->request);
        if (state == 0)
            return lookup->request.ar_result;
        if (state != EAI_INPROGRESS)
            throw TargetError("resolve " + name + ": " + ::gai_strerror(state), EHOSTUNREACH);
        try {
            stall.wait(-1, "resolve");
        } catch (...) {
            // A lookup glibc cannot cancel any more still writes into the request: it keeps its memory.
            const int cancelled = ::gai_cancel(&lookup->request);
            if (cancelled == EAI_NOTCANCELED)
                lookup.release();
            else if (cancelled == EAI_ALLDONE && ::gai_error(&lookup->request) == 0)
                ::freeaddrinfo(lookup->request.ar_result);
            throw;
        }
    }
}

Descriptor connectTo(const QString &target, StallClock &stall, const std::string &name)
{
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(resolve(target, stall, name), ::freeaddrinfo);
    int lastError = EHOSTUNREACH;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next) {
        stall.progress(); // each address gets the whole wait
        Descriptor fd(::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (fd.get() < 0)
            throw TargetError("socket " + name, errno);
        if (::connect(fd.get(), address->ai_addr, address->ai_addrlen) == 0)
            return fd;
        if (errno != EINPROGRESS) {
            lastError = errno;
            continue;
        }
        for (;;) {
            stall.wait(fd.get(), "connect");
            pollfd writable { fd.get(), POLLOUT, 0 };
            if (::poll(&writable, 1, 0) <= 0)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0) {
                stall.progress();
                return fd;
            }
            lastError = error;
            break;
        }
    }
    throw TargetError("connect " + name, lastError);
}

} // namespace

void writeTarget(const QString &target, QByteArrayView bytes, const TargetOptions &options)
{
    // Never let an unset target fall through to standard output or the current folder.
    if (target.isEmpty())
        throw TargetError("open: empty target name", EINVAL);

    const std::string name = target.toStdString();
    const SigpipeBlocker sigpipeBlocker;
    StallClock stall(options, name);
    if (isSocketTarget(target)) {
        Descriptor fd = connectTo(target, stall, name);
        writeAll(fd.get(), bytes, stall, name);
        // Written is not received: a printer that stopped reading keeps the bytes in our send queue.
        drain(fd.get(), stall, name);
        ::shutdown(fd.get(), SHUT_WR);
        if (::close(fd.release()) < 0)
            throw TargetError("close " + name, errno);
        return;
    }
    // A name such as LPT1 or \\SERVER\PRINTER would be a file in whatever folder the station runs in, where no
    // printer ever reads it.
    if (!target.startsWith(u'/'))
        throw TargetError("open " + name + " (not a path from /, nor socket://)", ENOENT);
    Descriptor fd(openTarget(QFile::encodeName(target), name, options.exclusive));
    writeAll(fd.get(), bytes, stall, name);
    if (fd.isTerminal())
        drain(fd.get(), stall, name);
    if (::close(fd.release()) < 0)
        throw TargetError("close " + name, errno);
}

} // namespace platform
