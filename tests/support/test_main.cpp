#include <QCoreApplication>
#include <gtest/gtest.h>

// Every test executable gets a QCoreApplication so that run-loop code behaves as in the
// program; tests that need the loop run it themselves.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
