#pragma once

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QTest>

// Test entry points that first pin what tests must not take from the machine: time zone,
// locale, and the offscreen window platform.
#define KESTRIN_TEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        kestrin::test::PinEnvironment();                                                                               \
        QCoreApplication app(argc, argv);                                                                              \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
