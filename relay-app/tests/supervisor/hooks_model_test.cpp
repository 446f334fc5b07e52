#include "supervisor/hooks_model.h"
#include "supervisor/launchd_service_manager.h"
#include "supervisor/relay_monitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "supervisor_test_support.h"

using namespace vesperline;
using namespace vesperline::fixtures;

namespace {

// A monitor over the test's fresh home whose relay commands run with the
// given Python: the real one runs the real relay.py copied from the
// program's resources. Nobody answers polls, which the model never needs.
class HooksModelTest : public ::testing::Test {
protected:
    void SetUp() override { home = freshHome(); }

    void TearDown() override
    {
        // The polling loop ends once it sees its monitor gone.
        monitor.reset();
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }

    RelayMonitor& makeMonitor(const QString& python = QStringLiteral("/usr/bin/python3"))
    {
        RelayInstaller::Options installer;
        installer.home = home;
        installer.pythonExecutable = python;
        installer.serviceManager = std::make_shared<LaunchdServiceManager>(
            RelayPaths::forHome(home), LaunchdServiceManager::Options{launchctl.path(), 501, {}});
        RelayMonitor::Options options;
        options.installer = RelayInstaller(installer);
        options.admin = AdminClient(home + QStringLiteral("/.idlewyn-relay"));
        monitor = std::make_unique<RelayMonitor>(options);
        return *monitor;
    }

    QString home;
    QTemporaryDir tools;
    FakeTool launchctl{QStringLiteral("launchctl")};
    std::unique_ptr<RelayMonitor> monitor;
};

} // namespace

TEST_F(HooksModelTest, AFailedApplyShowsItsErrorAndEnablesApplyAgain)
{
    // A python3 whose dry run reports changes and whose apply fails.
    HooksModel model(
        makeMonitor(fakePython(tools.path(),
                               "if [ \"$3\" = --dry-run ]; then echo 'Would add 3 hooks (dry run)'; exit 0; fi\n"
                               "echo '  settings.json is read-only  '; exit 1")));
    outcomeOf(model.apply());
    EXPECT_FALSE(model.error()) << "Apply does nothing before a preview offers changes";

    outcomeOf(model.runPreview());
    ASSERT_TRUE(model.isApplyEnabled());
    outcomeOf(model.apply());
    EXPECT_EQ(model.error(), QStringLiteral("relay.py install-hooks failed: settings.json is read-only"));
    EXPECT_FALSE(model.result());
    EXPECT_FALSE(model.isWorking());
    EXPECT_TRUE(model.isApplyEnabled()) << "the preview still has changes and nothing was applied";
    EXPECT_EQ(model.reportText(), *model.preview());

    outcomeOf(model.runPreview());
    EXPECT_TRUE(model.error()) << "a later success does not clear the error";
}

TEST_F(HooksModelTest, ACommandOutlivingItsModelFinishesAlone)
{
    RelayMonitor& m = makeMonitor();
    auto model = std::make_unique<HooksModel>(m);
    QCoro::Task<> preview = model->runPreview();
    model.reset();
    EXPECT_TRUE(outcomeOf(std::move(preview)).value);
    EXPECT_FALSE(m.installation().needsUpdate) << "the relay still ran to its end";
}
