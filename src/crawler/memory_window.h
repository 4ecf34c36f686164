// The window's controls as in-memory stores, with the crawl state they go with: what the
// headless command, the crawl tests and the benchmarks build a Crawler on.
#pragma once

#include "crawler/crawl.h"
#include "platform/memory_stores.h"

namespace vidrake {

struct MemoryWindow {
    CrawlStores stores() {
        return {Text1, Text4, Text2, Label1, List1, List2, List3, ProgressBar1};
    }
    CrawlPlatform platform(InternetClient& internet, EventPump& pump, QLocale locale = QLocale::c(),
                           int jobs = kPagesInFlight) {
        return {internet, pump, messages, screen, std::move(locale), jobs};
    }

    // As the window starts.
    MemoryText Text1;
    MemoryText Text4{QStringLiteral("10")};
    MemoryText Text2{QStringLiteral("Text2")};
    MemoryText Label1;
    MemoryList List1, List2, List3;
    MemoryProgress ProgressBar1;
    MemoryPointer screen;
    MemoryMessageBox messages;
    CrawlState state;
};

}  // namespace vidrake
