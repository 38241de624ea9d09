#include <QCoreApplication>
#include <gtest/gtest.h>
#ifdef ZYM_TEST_WIDGETS
#include <QApplication>
#endif

#include <cstdlib>
#include <sys/stat.h>

namespace {

// Fills in what the test environment lacks; what the caller set stays.
void DefaultEnvironment() {
    setenv("ZYM_SOURCE_DIR", ZYM_TEST_SOURCE_DIR, 0);
    setenv("ZYM_BINARY_DIR", ZYM_TEST_BINARY_DIR, 0);
    struct stat st {};
    // Conformance vectors only where they are: tests skip with a reason without them.
    if (stat(ZYM_TEST_SHARED_DIR, &st) == 0 && S_ISDIR(st.st_mode)) setenv("ZYM_SHARED_DIR", ZYM_TEST_SHARED_DIR, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("ZYM_AUDIO_OUTPUT", "null", 0);
}

}  // namespace

// Every test executable gets a QCoreApplication so that run-loop code behaves as in the
// program (a QApplication where the executable links Widgets); tests that need the loop
// run it themselves.
int main(int argc, char** argv) {
    DefaultEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
#ifdef ZYM_TEST_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
