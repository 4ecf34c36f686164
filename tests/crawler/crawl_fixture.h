// The in-memory window around one crawler, talking to a test server.
#pragma once

#include "crawler/memory_window.h"
#include "loopback_web/loopback_server.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"

#include <functional>
#include <memory>

namespace vidrake::test {

// Runs the real event loop and can do more on each yield (a click in the middle of a run).
struct ScriptedPump final : EventPump {
    void yield() override {
        QtEventPump().yield();
        if (onYield) {
            onYield();
        }
    }
    std::function<void()> onYield;
};

struct CrawlWindow : MemoryWindow {
    explicit CrawlWindow(FetchLimits limits = {}, int jobs = kPagesInFlight)
        : internet(limits),
          crawler(std::make_unique<Crawler>(stores(), state,
                                            platform(internet, pump, QLocale::c(), jobs))) {}

    void press(const QString& address, const QString& wanted) {
        Text1.setText(address);
        Text4.setText(wanted);
        crawler->Command1_Click();
    }

    ScriptedPump pump;
    InternetClient internet;
    std::unique_ptr<Crawler> crawler;
};

}  // namespace vidrake::test
