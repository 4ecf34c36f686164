// Runs several Qt Test classes in one executable, one after another.
#pragma once

#include <QObject>
#include <QtTest>

#include <initializer_list>
#include <memory>

namespace vidrake::test {

inline int runAll(int argc, char** argv, std::initializer_list<QObject*> tests) {
    int failed = 0;
    for (QObject* test : tests) {
        const std::unique_ptr<QObject> owned(test);
        failed += QTest::qExec(test, argc, argv);
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace vidrake::test
