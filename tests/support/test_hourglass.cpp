// The busy pointer keeps no nesting count and no memory of the pointer before it.
#include "hourglass.h"
#include "memory_stores.h"

#include <QtTest>

#include <optional>

using namespace vidrake;

class HourglassTest final : public QObject {
    Q_OBJECT

private slots:
    void hourglass_showsWaitThenAlwaysDefault();
};

void HourglassTest::hourglass_showsWaitThenAlwaysDefault() {
    MemoryPointer screen;
    screen.setMousePointer(2);  // some other pointer in force before
    {
        const hourglass busy(screen);
        QCOMPARE(screen.mousePointer(), kPointerWait);
    }
    QCOMPARE(screen.mousePointer(), kPointerDefault);

    std::optional<hourglass> first(std::in_place, screen);
    std::optional<hourglass> second(std::in_place, screen);
    first.reset();
    QCOMPARE(screen.mousePointer(), kPointerDefault);  // though the second still lives
    second.reset();
    QCOMPARE(screen.mousePointer(), kPointerDefault);
}

QTEST_GUILESS_MAIN(HourglassTest)
#include "test_hourglass.moc"
