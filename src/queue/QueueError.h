#pragma once

#include <QString>
#include <stdexcept>

// A failure of the label queue: no connection, a driver or procedure error, a missing column.
// The message is what the operator reads in the error dialog.
class QueueError : public std::runtime_error {
public:
    explicit QueueError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
};

// The procedure ran, but its result broke off on the way. Calling it again could hand out the next labels while
// these are lost, so this is reported, never retried; a procedure that hands out and returns its labels in one
// transaction puts them back in the queue.
class QueueResultLost : public QueueError {
public:
    using QueueError::QueueError;
};
