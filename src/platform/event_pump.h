// Lets the window system handle what is pending, from inside a long handler.
#pragma once

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
};

}  // namespace vidrake
