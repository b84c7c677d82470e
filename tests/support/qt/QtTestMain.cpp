// The main of every test program that uses Qt: the one application object of the process,
// made on the test thread before the first test.

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef VELKORA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VELKORA_TEST_WIDGETS
    // Widgets without a display run on the offscreen platform; tests that need a real one
    // set their own.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    // Never deleted: it must outlive every Qt object of the tests, statics included.
    static TestApplication* application = new TestApplication(argc, argv);
    (void)application;
    return RUN_ALL_TESTS();
}
