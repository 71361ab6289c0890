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
