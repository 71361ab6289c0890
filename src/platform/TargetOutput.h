#pragma once

#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

namespace platform {

// what() reads "<what failed>: <strerror text>".
class TargetError : public std::runtime_error {
public:
    TargetError(const std::string &what, int errorNumber);
    int errorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

// The target already exists and TargetOptions::exclusive was asked for.
class TargetExists : public TargetError {
public:
    using TargetError::TargetError;
};

struct TargetOptions {
    // Create a new file only; an existing one is left untouched.
    bool exclusive = false;
    // A target that takes no byte for this long has failed.
    std::chrono::milliseconds stallTimeout { 10000 };
    // Runs between waits, at least every few tens of milliseconds, so the window stays responsive.
    std::function<void()> idle;
};

// Writes bytes to a file, FIFO or device node in one open/write/close, without blocking on a slow or stuck target.
// Throws TargetError (or TargetExists) when any step fails, the descriptor closed in every case.
void writeTarget(const QString &target, QByteArrayView bytes, const TargetOptions &options);

} // namespace platform
