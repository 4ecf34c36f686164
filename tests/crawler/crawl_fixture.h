// A window's worth of in-memory stores around one crawler, talking to a test server.
#pragma once

#include "crawler/crawl.h"
#include "loopback_web/loopback_server.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"
#include "platform/memory_stores.h"

#include <functional>
#include <memory>

namespace vidrake::test {

// Runs the real event loop and can do more on each yield (a click in the middle of a run).
struct ScriptedPump final : EventPump {
    void yield() override {
        ++yields;
        QtEventPump().yield();
        if (onYield) {
            onYield();
        }
    }
    int yields = 0;
    std::function<void()> onYield;
};

struct CrawlWindow {
    explicit CrawlWindow(FetchLimits limits = {}, int jobs = kPagesInFlight)
        : internet(limits),
          crawler(std::make_unique<Crawler>(
              CrawlStores{Text1, Text4, Text2, Label1, List1, List2, List3, ProgressBar1}, state,
              CrawlPlatform{internet, pump, messages, screen, QLocale::c(), jobs})) {}

    void press(const QString& address, const QString& wanted) {
        Text1.setText(address);
        Text4.setText(wanted);
        crawler->Command1_Click();
    }

    MemoryText Text1, Text4, Text2, Label1;
    MemoryList List1, List2, List3;
    MemoryProgress ProgressBar1;
    MemoryPointer screen;
    MemoryMessageBox messages;
    ScriptedPump pump;
    InternetClient internet;
    CrawlState state;
    std::unique_ptr<Crawler> crawler;
};

}  // namespace vidrake::test
