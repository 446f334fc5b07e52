#include "supervisor/installer_error.h"
#include "supervisor/launchd_service_manager.h"
#include "supervisor/process_runner.h"
#include "supervisor/relay_installer.h"
#include "supervisor/systemd_service_manager.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <plist/plist.h>
#include <qcoro/qcorotask.h>

#include "supervisor_test_support.h"

#include <cstdlib>

using namespace vesperline;
using namespace vesperline::fixtures;

namespace {

const QString sourceResources = QStringLiteral(VESPERLINE_SOURCE_DIR "/relay-app/resources");
constexpr uid_t testUser = 501;

// The text of the error an operation fails with; empty when it succeeds.
template <class T>
QString failureOf(QCoro::Task<T> task)
{
    return outcomeOf(std::move(task)).errorText();
}

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override { home = freshHome(); }

    std::shared_ptr<LaunchdServiceManager> launchdFor(const FakeTool& launchctl,
                                                       const QString& python = QStringLiteral("/usr/bin/python3")) const
    {
        LaunchdServiceManager::Options options;
        options.launchctl = launchctl.path();
        options.userId = testUser;
        options.bootstrapPause = std::chrono::milliseconds(1);
        return std::make_shared<LaunchdServiceManager>(RelayPaths::forHome(home, python), options);
    }

    RelayInstaller installerWith(std::shared_ptr<const ServiceManager> manager,
                                 const QString& python = QStringLiteral("/usr/bin/python3"),
                                 const QString& resources = {}) const
    {
        RelayInstaller::Options options;
        options.home = home;
        options.pythonExecutable = python;
        options.resourceDirectory = resources;
        options.serviceManager = std::move(manager);
        return RelayInstaller(options);
    }

    QString plistPath() const { return home + QStringLiteral("/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist"); }

    QString home;
};

QString installedPath(const RelayInstaller& installer, const RelayInstaller::RelayFile& file)
{
    return (file.inHooksDirectory ? installer.hooksDirectory() : installer.binDirectory()) + u'/' + file.name;
}

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};

std::unique_ptr<void, PlistFree> parsePlist(const QByteArray& data)
{
    plist_t root = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    return std::unique_ptr<void, PlistFree>(root);
}

QString plistString(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return QStringLiteral("<not a string>");
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    const QString text = QString::fromUtf8(value);
    std::free(value);
    return text;
}

QByteArray binaryPlistRunning(const QStringList& programArguments)
{
    std::unique_ptr<void, PlistFree> dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "Label", plist_new_string("io.zembrix.idlewyn.relay"));
    plist_t arguments = plist_new_array();
    for (const QString& argument : programArguments) {
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    }
    plist_dict_set_item(dict.get(), "ProgramArguments", arguments);
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict.get(), &data, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    plist_to_bin_free(data);
    return bytes;
}

} // namespace

TEST_F(InstallerTest, TheSixRelayFilesAreEmbeddedAsTheyAreInTheSourceTree)
{
    const QStringList expected{QStringLiteral("relay.py"),
                               QStringLiteral("apns.py"),
                               QStringLiteral("claude-hook.sh"),
                               QStringLiteral("claude-permission-hook.sh"),
                               QStringLiteral("codex-notify.sh"),
                               QStringLiteral("claude-settings.example.json")};
    QStringList names;
    for (const RelayInstaller::RelayFile& file : RelayInstaller::relayFiles()) {
        names.append(file.name);
        const QByteArray embedded = readFile(QStringLiteral(":/relay/") + file.name);
        EXPECT_FALSE(embedded.isEmpty()) << file.name.toStdString();
        EXPECT_EQ(embedded, readFile(sourceResources + u'/' + file.name)) << file.name.toStdString();
    }
    EXPECT_EQ(names, expected);
}

TEST_F(InstallerTest, LaunchdStartOnAFreshAccountInstallsWithModesWritesTheAgentAndLoadsIt)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));
    EXPECT_TRUE(installer.needsUpdate());
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);

    EXPECT_EQ(failureOf(installer.start()), QString());

    for (const QString& directory : {installer.supportDirectory(), installer.binDirectory(), installer.hooksDirectory()}) {
        EXPECT_EQ(modeOf(directory), 0700) << directory.toStdString();
    }
    for (const RelayInstaller::RelayFile& file : RelayInstaller::relayFiles()) {
        const QString path = installedPath(installer, file);
        EXPECT_EQ(modeOf(path), file.name.endsWith(QStringLiteral(".sh")) ? 0755 : 0644) << path.toStdString();
        EXPECT_EQ(readFile(path), readFile(QStringLiteral(":/relay/") + file.name)) << path.toStdString();
    }
    EXPECT_EQ(launchctl.calls(), (QStringList{QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay"),
                                              QStringLiteral("bootstrap gui/501 ") + plistPath()}));

    auto plist = parsePlist(readFile(plistPath()));
    ASSERT_TRUE(plist);
    ASSERT_EQ(plist_get_node_type(plist.get()), PLIST_DICT);
    EXPECT_EQ(plist_dict_get_size(plist.get()), 7u);
    EXPECT_EQ(plistString(plist_dict_get_item(plist.get(), "Label")), QStringLiteral("io.zembrix.idlewyn.relay"));
    plist_t arguments = plist_dict_get_item(plist.get(), "ProgramArguments");
    ASSERT_TRUE(arguments);
    ASSERT_EQ(plist_array_get_size(arguments), 2u);
    EXPECT_EQ(plistString(plist_array_get_item(arguments, 0)), QStringLiteral("/usr/bin/python3"));
    EXPECT_EQ(plistString(plist_array_get_item(arguments, 1)), installer.relayScript());
    for (const char* key : {"RunAtLoad", "KeepAlive"}) {
        plist_t flag = plist_dict_get_item(plist.get(), key);
        ASSERT_TRUE(flag && plist_get_node_type(flag) == PLIST_BOOLEAN) << key;
        EXPECT_TRUE(plist_bool_val_is_true(flag)) << key;
    }
    EXPECT_EQ(plistString(plist_dict_get_item(plist.get(), "ProcessType")), QStringLiteral("Background"));
    EXPECT_EQ(plistString(plist_dict_get_item(plist.get(), "StandardOutPath")), installer.logFile());
    EXPECT_EQ(plistString(plist_dict_get_item(plist.get(), "StandardErrorPath")), installer.logFile());

    EXPECT_FALSE(installer.needsUpdate());
    EXPECT_EQ(installer.installedRelayPath(), installer.relayScript());
    EXPECT_TRUE(installer.usesThisAppsRelay());
}

TEST_F(InstallerTest, LaunchdBootstrapIsTriedFiveTimesAndTheFifthFailureIsReported)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));

    launchctl.failNext(QStringLiteral("bootstrap"), 4);
    launchctl.failAlways(QStringLiteral("bootout")); // not loaded yet: ignored
    EXPECT_EQ(failureOf(installer.start()), QString());
    EXPECT_EQ(launchctl.calls().count(QStringLiteral("bootstrap gui/501 ") + plistPath()), 5);

    FakeTool failing(QStringLiteral("launchctl"));
    failing.failNext(QStringLiteral("bootstrap"), 5);
    EXPECT_EQ(failureOf(installerWith(launchdFor(failing)).start()),
              QStringLiteral("launchctl bootstrap failed: bootstrap refused (call 5)"));
    EXPECT_EQ(failing.calls().size(), 6); // one bootout, five bootstraps, no sixth
}

TEST_F(InstallerTest, LaunchdRestartStartsInFullWithoutAnAgentAndBootstrapsOnceWhenKickstartFails)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));

    EXPECT_EQ(failureOf(installer.restart()), QString());
    EXPECT_EQ(launchctl.calls(), (QStringList{QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay"),
                                              QStringLiteral("bootstrap gui/501 ") + plistPath()}));
    EXPECT_TRUE(QFileInfo::exists(installer.relayScript()));

    FakeTool kickstartOk(QStringLiteral("launchctl"));
    EXPECT_EQ(failureOf(installerWith(launchdFor(kickstartOk)).restart()), QString());
    EXPECT_EQ(kickstartOk.calls(), QStringList(QStringLiteral("kickstart -k gui/501/io.zembrix.idlewyn.relay")));

    FakeTool unloaded(QStringLiteral("launchctl"));
    unloaded.failAlways(QStringLiteral("kickstart"));
    unloaded.failAlways(QStringLiteral("bootstrap"));
    EXPECT_EQ(failureOf(installerWith(launchdFor(unloaded)).restart()),
              QStringLiteral("launchctl bootstrap failed: bootstrap refused (call 1)"));
    EXPECT_EQ(unloaded.calls(), (QStringList{QStringLiteral("kickstart -k gui/501/io.zembrix.idlewyn.relay"),
                                             QStringLiteral("bootstrap gui/501 ") + plistPath()}));
}

TEST_F(InstallerTest, LaunchdStopOfAnUnloadedAgentFailsWithLaunchctlsMessage)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    launchctl.failAlways(QStringLiteral("bootout"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));
    EXPECT_EQ(failureOf(installer.stop()), QStringLiteral("launchctl bootout failed: bootout refused (call 1)"));
    const auto error = outcomeOf(installer.stop()).errorAs<InstallerError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), InstallerError::Kind::command);
    EXPECT_EQ(error->subject(), QStringLiteral("launchctl bootout"));
}

TEST_F(InstallerTest, AMissingLaunchctlFailsWithTheLaunchError)
{
    LaunchdServiceManager::Options options;
    options.launchctl = home + QStringLiteral("/no/launchctl");
    const RelayInstaller installer =
        installerWith(std::make_shared<LaunchdServiceManager>(RelayPaths::forHome(home), options));
    const auto error = outcomeOf(installer.stop()).errorAs<ProcessLaunchError>();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->description().isEmpty());
}

TEST_F(InstallerTest, TheInstalledRelayPathComesFromTheAgentsPropertyList)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));

    // Binary property lists are read as well as XML ones.
    const QString elsewhere = QStringLiteral("/Applications/Older Vesperline.app/Contents/Resources/relay.py");
    writeFile(plistPath(), binaryPlistRunning({QStringLiteral("/usr/bin/python3"), elsewhere}));
    EXPECT_EQ(installer.installedRelayPath(), elsewhere);
    EXPECT_FALSE(installer.usesThisAppsRelay());

    writeFile(plistPath(), binaryPlistRunning({QStringLiteral("/usr/bin/python3")}));
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);

    writeFile(plistPath(), "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>ProgramArguments</key>"
                           "<array><string>/usr/bin/python3</string><integer>3</integer></array></dict></plist>");
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);

    writeFile(plistPath(), "not a property list");
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);
    EXPECT_FALSE(installer.usesThisAppsRelay());
}

TEST_F(InstallerTest, TheAgentsPropertyListEscapesPathsAndReadsThemBack)
{
    home = freshHome() + QStringLiteral("/odd <&> \"home\"");
    QDir().mkpath(home);
    FakeTool launchctl(QStringLiteral("launchctl"));
    const auto launchd = launchdFor(launchctl);
    launchd->writeLaunchAgent();
    EXPECT_EQ(launchd->installedRelayPath(), RelayPaths::forHome(home).relayScript);
}

TEST_F(InstallerTest, NeedsUpdateWhenAnInstalledFileIsMissingOrChanged)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));
    installer.installFiles();
    EXPECT_FALSE(installer.needsUpdate());

    QFile::remove(installer.relayScript());
    EXPECT_TRUE(installer.fileDiffers(QStringLiteral("relay.py"), installer.binDirectory()));
    EXPECT_TRUE(installer.needsUpdate());

    installer.installFiles();
    writeFile(installer.hooksDirectory() + QStringLiteral("/codex-notify.sh"), "#!/bin/sh\nexit 0\n");
    EXPECT_TRUE(installer.needsUpdate());

    // A file the program itself lacks never counts as out of date.
    EXPECT_FALSE(installer.fileDiffers(QStringLiteral("not-shipped.py"), installer.binDirectory()));
}

TEST_F(InstallerTest, AMissingResourceFailsByNameAndKeepsTheCopiesMadeBefore)
{
    QTemporaryDir resources;
    for (const char* name : {"relay.py", "apns.py", "claude-hook.sh"}) {
        QFile::copy(sourceResources + u'/' + QLatin1String(name), resources.filePath(QLatin1String(name)));
    }
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer =
        installerWith(launchdFor(launchctl), QStringLiteral("/usr/bin/python3"), resources.path());

    try {
        installer.installFiles();
        FAIL() << "installFiles succeeded without all resources";
    } catch (const InstallerError& error) {
        EXPECT_EQ(error.kind(), InstallerError::Kind::missingResource);
        EXPECT_EQ(error.description(), QStringLiteral("This app is missing its copy of claude-permission-hook.sh."));
    }
    EXPECT_TRUE(QFileInfo::exists(installer.relayScript()));
    EXPECT_TRUE(QFileInfo::exists(installer.hooksDirectory() + QStringLiteral("/claude-hook.sh")));

    EXPECT_EQ(failureOf(installer.start()), QStringLiteral("This app is missing its copy of claude-permission-hook.sh."));
    EXPECT_TRUE(launchctl.calls().isEmpty());
}

TEST_F(InstallerTest, RefreshingOutdatedFilesTouchesOnlyAnExistingInstallation)
{
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));

    installer.refreshFilesIfOutdated();
    EXPECT_FALSE(QFileInfo::exists(installer.supportDirectory()));

    installer.installFiles();
    writeFile(installer.binDirectory() + QStringLiteral("/apns.py"), "# old\n");
    installer.refreshFilesIfOutdated();
    EXPECT_FALSE(installer.needsUpdate());
    EXPECT_EQ(modeOf(installer.binDirectory() + QStringLiteral("/apns.py")), 0644);
    EXPECT_TRUE(launchctl.calls().isEmpty()); // the running relay is left alone
}

TEST_F(InstallerTest, RunningARelayCommandOnAFreshAccountInstallsTheFilesButNoService)
{
    // The relay itself reads HOME: this test runs it on the process's own.
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl));
    ASSERT_EQ(installer.paths().home, QDir::homePath());

    const auto report = outcomeOf(installer.runRelay({QStringLiteral("install-hooks"), QStringLiteral("--dry-run")}));
    ASSERT_TRUE(report.succeeded()) << report.errorText().toStdString();
    EXPECT_FALSE(report.value->trimmed().isEmpty());
    EXPECT_FALSE(installer.needsUpdate());
    EXPECT_FALSE(QFileInfo::exists(plistPath()));
    EXPECT_TRUE(launchctl.calls().isEmpty());
    // A dry run changes nothing of the agents' configuration.
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/.claude/settings.json")));
}

TEST_F(InstallerTest, AFailingRelayCommandIsLabelledWithItsArguments)
{
    QTemporaryDir bin;
    const QString python = fakePython(bin.path(), "  hooks could not be written  ", 3);
    FakeTool launchctl(QStringLiteral("launchctl"));
    const RelayInstaller installer = installerWith(launchdFor(launchctl, python), python);
    EXPECT_EQ(failureOf(installer.runRelay({QStringLiteral("install-hooks")})),
              QStringLiteral("relay.py install-hooks failed: hooks could not be written"));
}

TEST_F(InstallerTest, StartWithoutAUsablePythonChangesNothing)
{
    const QString noPython = InstallerError::noPython().description();
#ifdef Q_OS_MACOS
    EXPECT_EQ(noPython, QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                       "Install the Command Line Tools: xcode-select --install"));
#else
    EXPECT_EQ(noPython, QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                       "Install it with your package manager: sudo apt install python3"));
#endif

    FakeTool launchctl(QStringLiteral("launchctl"));
    const QString missing = home + QStringLiteral("/no/python3");
    EXPECT_EQ(failureOf(installerWith(launchdFor(launchctl, missing), missing).start()), noPython);

    QTemporaryDir bin;
    const QString tooOld = fakePython(bin.path(), "AssertionError", 1);
    EXPECT_EQ(failureOf(installerWith(launchdFor(launchctl, tooOld), tooOld).start()), noPython);

    EXPECT_TRUE(launchctl.calls().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/.idlewyn-relay")));
}

// ----- systemd user units -----

class SystemdTest : public InstallerTest {
protected:
    std::shared_ptr<SystemdServiceManager> systemdFor(const FakeTool& systemctl) const
    {
        SystemdServiceManager::Options options;
        options.systemctl = systemctl.path();
        return std::make_shared<SystemdServiceManager>(RelayPaths::forHome(home), options);
    }

    QString unitPath() const { return home + QStringLiteral("/.config/systemd/user/io.zembrix.idlewyn.relay.service"); }
};

TEST_F(SystemdTest, StartWritesAUnitThatRunsTheInstalledRelayAndReloadsEnablesAndRestartsIt)
{
    FakeTool systemctl(QStringLiteral("systemctl"));
    const RelayInstaller installer = installerWith(systemdFor(systemctl));
    EXPECT_EQ(failureOf(installer.start()), QString());

    EXPECT_EQ(systemctl.calls(), (QStringList{QStringLiteral("--user daemon-reload"),
                                              QStringLiteral("--user enable io.zembrix.idlewyn.relay.service"),
                                              QStringLiteral("--user restart io.zembrix.idlewyn.relay.service")}));
    const QString unit = QString::fromUtf8(readFile(unitPath()));
    EXPECT_TRUE(unit.contains(QStringLiteral("ExecStart=\"/usr/bin/python3\" \"") + installer.relayScript()
                              + QStringLiteral("\"\n")));
    EXPECT_TRUE(unit.contains(QStringLiteral("\nRestart=always\n")));
    EXPECT_TRUE(unit.contains(QStringLiteral("\nStandardOutput=append:") + installer.logFile() + u'\n'));
    EXPECT_TRUE(unit.contains(QStringLiteral("\nStandardError=append:") + installer.logFile() + u'\n'));
    EXPECT_TRUE(unit.contains(QStringLiteral("\nWantedBy=default.target\n")));
    EXPECT_EQ(installer.installedRelayPath(), installer.relayScript());
    EXPECT_TRUE(installer.usesThisAppsRelay());
    EXPECT_EQ(modeOf(installer.hooksDirectory() + QStringLiteral("/claude-hook.sh")), 0755);
}

TEST_F(SystemdTest, RestartStartsInFullWithoutAUnitAndOtherwiseRestartsIt)
{
    FakeTool systemctl(QStringLiteral("systemctl"));
    const RelayInstaller installer = installerWith(systemdFor(systemctl));
    EXPECT_EQ(failureOf(installer.restart()), QString());
    EXPECT_EQ(systemctl.calls().size(), 3);
    EXPECT_TRUE(QFileInfo::exists(unitPath()));

    FakeTool again(QStringLiteral("systemctl"));
    EXPECT_EQ(failureOf(installerWith(systemdFor(again)).restart()), QString());
    EXPECT_EQ(again.calls(), QStringList(QStringLiteral("--user restart io.zembrix.idlewyn.relay.service")));
}

TEST_F(SystemdTest, FailuresCarrySystemctlsVerbAndMessageAndEndTheOperation)
{
    FakeTool systemctl(QStringLiteral("systemctl"));
    systemctl.failAlways(QStringLiteral("daemon-reload"));
    systemctl.failAlways(QStringLiteral("stop"));
    const RelayInstaller installer = installerWith(systemdFor(systemctl));

    EXPECT_EQ(failureOf(installer.start()), QStringLiteral("systemctl daemon-reload failed: daemon-reload refused (call 1)"));
    EXPECT_EQ(systemctl.calls(), QStringList(QStringLiteral("--user daemon-reload")));
    EXPECT_EQ(failureOf(installer.stop()), QStringLiteral("systemctl stop failed: stop refused (call 1)"));
}

TEST_F(SystemdTest, UnitPathsSurviveSpacesQuotesAndSpecifierCharacters)
{
    home = freshHome() + QStringLiteral("/a b \"c\" 50% $USER \\d");
    QDir().mkpath(home);
    FakeTool systemctl(QStringLiteral("systemctl"));
    const auto systemd = systemdFor(systemctl);
    systemd->writeUnit();
    EXPECT_EQ(systemd->installedRelayPath(), RelayPaths::forHome(home).relayScript);

    home = freshHome() + QStringLiteral("/line\nExecStartPre=/bin/false");
    EXPECT_THROW(systemdFor(systemctl)->writeUnit(), FileSystemError);
}

TEST(ServiceManagerChoice, SystemdIsUsedOnlyWhereAUserManagerIsListening)
{
    QTemporaryDir runtime;
    EXPECT_FALSE(systemdUserManagerRuns(runtime.path()));
    EXPECT_FALSE(systemdUserManagerRuns(QString()));
    writeFile(runtime.filePath(QStringLiteral("systemd/private")), {});
    EXPECT_TRUE(systemdUserManagerRuns(runtime.path()));
}
