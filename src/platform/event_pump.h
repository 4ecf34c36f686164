// Lets the window system handle what is pending, from inside a long handler.
#pragma once

#include <QElapsedTimer>

namespace vidrake {

class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void yield() = 0;
};

// Runs the pending events of the calling thread's Qt event loop, and returns at once.
class QtEventPump final : public EventPump {
public:
    void yield() override;

private:
    QElapsedTimer m_sincePoll;
};

}  // namespace vidrake
