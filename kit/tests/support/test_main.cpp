// The one main() of every GoogleTest suite: it creates the Qt application the
// code under test expects and gives the process a private, empty HOME so that
// no test reads or writes the real user's settings, relay or keychain files.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#ifdef IDLEWYN_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery only lists names: no application, no display needed.
    if (::testing::GTEST_FLAG(list_tests)) {
        return RUN_ALL_TESTS();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // A test that starts a second copy of its own binary (to prove something
    // crosses processes) hands it its HOME through IDLEWYN_TEST_HOME.
    QTemporaryDir temporaryHome;
    QString home = qEnvironmentVariable("IDLEWYN_TEST_HOME");
    if (home.isEmpty()) {
        if (!temporaryHome.isValid()) {
            return 2;
        }
        home = temporaryHome.path();
    }
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    QDir().mkpath(home + QStringLiteral("/.config"));

    TestApplication app(argc, argv);
    TestApplication::setOrganizationName(QStringLiteral("Vesperline"));
    TestApplication::setApplicationName(QStringLiteral("VesperlineTests"));
    return RUN_ALL_TESTS();
}
