#include "supervisor/hooks_model.h"
#include "supervisor/launchd_service_manager.h"
#include "supervisor/relay_monitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
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

    // A python3 whose dry run reports changes and whose apply fails.
    QString pythonThatCannotApply()
    {
        const QString path = tools.filePath(QStringLiteral("python3"));
        writeFile(path,
                  "#!/bin/sh\n"
                  "if [ \"$3\" = --dry-run ]; then echo 'Would add 3 hooks (dry run)'; exit 0; fi\n"
                  "echo '  settings.json is read-only  '; exit 1\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QString home;
    QTemporaryDir tools;
    FakeTool launchctl{QStringLiteral("launchctl")};
    std::unique_ptr<RelayMonitor> monitor;
};

} // namespace

TEST_F(HooksModelTest, PreviewThenApplyWithTheRealRelayAndAFreshWindowSeesItDone)
{
    RelayMonitor& m = makeMonitor();
    ASSERT_TRUE(m.installation().needsUpdate) << "nothing is installed yet";
    HooksModel model(m);
    EXPECT_EQ(model.reportText(), QStringLiteral("Checking\u2026"));
    EXPECT_EQ(model.statusText(), std::nullopt);
    EXPECT_FALSE(model.isApplyEnabled());

    QSignalSpy installation(&m, &RelayMonitor::installationChanged);
    outcomeOf(model.runPreview());
    ASSERT_TRUE(model.preview()) << model.error().value_or(QString()).toStdString();
    EXPECT_TRUE(model.preview()->contains(QStringLiteral("(dry run)")));
    EXPECT_EQ(model.reportText(), *model.preview());
    EXPECT_EQ(model.statusText(), std::nullopt) << "changes to make: no label yet";
    EXPECT_TRUE(model.isApplyEnabled());
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/.claude/settings.json"))) << "a dry run changes nothing";
    EXPECT_FALSE(m.installation().needsUpdate) << "the command installed the relay files, and the monitor saw it";
    EXPECT_EQ(installation.count(), 1);

    QList<bool> workingAtEachChange;
    QObject::connect(&model, &HooksModel::changed, [&] { workingAtEachChange.append(model.isWorking()); });
    outcomeOf(model.apply());
    ASSERT_TRUE(model.result()) << model.error().value_or(QString()).toStdString();
    EXPECT_EQ(workingAtEachChange, (QList<bool>{true, false}));
    EXPECT_EQ(model.reportText(), *model.result()) << "the apply output replaces the preview";
    EXPECT_EQ(model.statusText(), QStringLiteral("Done. Restart running Claude Code and Codex sessions."));
    EXPECT_FALSE(model.isApplyEnabled()) << "done: nothing more to apply";
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/.claude/settings.json")));

    HooksModel reopened(m);
    outcomeOf(reopened.runPreview());
    ASSERT_TRUE(reopened.preview());
    EXPECT_EQ(reopened.statusText(), QStringLiteral("Already set up"));
    EXPECT_FALSE(reopened.isApplyEnabled());
}

TEST_F(HooksModelTest, AFailedApplyShowsItsErrorAndEnablesApplyAgain)
{
    HooksModel model(makeMonitor(pythonThatCannotApply()));
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

TEST_F(HooksModelTest, AFailedPreviewKeepsCheckingAndShowsTheError)
{
    HooksModel model(makeMonitor(fakePython(tools.path(), "  settings.json is not valid JSON  ", 3)));
    QSignalSpy changes(&model, &HooksModel::changed);
    outcomeOf(model.runPreview());
    EXPECT_EQ(changes.count(), 1);
    EXPECT_FALSE(model.preview());
    EXPECT_EQ(model.error(),
              QStringLiteral("relay.py install-hooks --dry-run failed: settings.json is not valid JSON"));
    EXPECT_EQ(model.reportText(), QStringLiteral("Checking\u2026"));
    EXPECT_EQ(model.statusText(), std::nullopt);
    EXPECT_FALSE(model.isApplyEnabled());
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
