#pragma once

#include <QDateTime>

namespace controls {

// Where the forms get the time for their clock lines and today's date.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace controls
