#pragma once

#include "TestMain.h"

#include <QApplication>

// The entry point of window tests: the same pinned environment with a QApplication.
#define KESTRIN_GUI_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        kestrin::test::PinEnvironment();                                                                               \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
