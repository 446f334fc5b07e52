#include "supervisor/installer_error.h"
#include "supervisor/launchd_service_manager.h"
#include "supervisor/process_runner.h"
#include "supervisor/relay_installer.h"
#include "supervisor/systemd_service_manager.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <plist/plist.h>

#include "supervisor_test_support.h"

#include <cstdlib>

using namespace vesperline;
using namespace vesperline::fixtures;

namespace {

template <class T>
QString failureOf(QCoro::Task<T> task)
{
    return outcomeOf(std::move(task)).errorText();
}

class InstallerTest : public ::testing::Test {
protected:
    // Characters that XML, unit files and shells treat specially, so every
    // test also checks that paths reach the service definitions intact.
    void SetUp() override
    {
        home = freshHome() + QStringLiteral("/R&D \"<team>\" 50% $HOME");
        QDir().mkpath(home);
    }

    RelayInstaller installerWith(std::shared_ptr<const ServiceManager> manager, const QString& python = {},
                                 const QString& resources = {}) const
    {
        RelayInstaller::Options options;
        options.home = home;
        options.pythonExecutable = python.isEmpty() ? QStringLiteral("/usr/bin/python3") : python;
        options.resourceDirectory = resources;
        options.serviceManager = std::move(manager);
        return RelayInstaller(options);
    }

    std::shared_ptr<LaunchdServiceManager> launchd(const FakeTool& launchctl) const
    {
        const LaunchdServiceManager::Options options{launchctl.path(), 501, std::chrono::milliseconds(1)};
        return std::make_shared<LaunchdServiceManager>(RelayPaths::forHome(home), options);
    }

    QString plist() const { return home + QStringLiteral("/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist"); }

    QString home;
    FakeTool launchctl{QStringLiteral("launchctl")};
};

QString plistString(plist_t node)
{
    char* value = nullptr;
    if (node && plist_get_node_type(node) == PLIST_STRING) {
        plist_get_string_val(node, &value);
    }
    const QString text = value ? QString::fromUtf8(value) : QStringLiteral("<not a string>");
    std::free(value);
    return text;
}

QByteArray binaryPlist(const QStringList& programArguments)
{
    plist_t dict = plist_new_dict();
    plist_t arguments = plist_new_array();
    for (const QString& argument : programArguments) {
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    }
    plist_dict_set_item(dict, "ProgramArguments", arguments);
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &data, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    plist_to_bin_free(data);
    plist_free(dict);
    return bytes;
}

} // namespace

TEST_F(InstallerTest, LaunchdStartOnAFreshAccountInstallsWithModesWritesTheAgentThenBootsOutAndBootstraps)
{
    const RelayInstaller installer = installerWith(launchd(launchctl));
    EXPECT_TRUE(installer.needsUpdate());
    EXPECT_EQ(failureOf(installer.start()), QString());

    for (const QString& directory :
         {installer.supportDirectory(), installer.binDirectory(), installer.hooksDirectory()}) {
        EXPECT_EQ(modeOf(directory), 0700) << directory.toStdString();
    }
    for (const RelayInstaller::RelayFile& file : RelayInstaller::relayFiles()) {
        const QString path =
            (file.inHooksDirectory ? installer.hooksDirectory() : installer.binDirectory()) + u'/' + file.name;
        EXPECT_EQ(modeOf(path), file.name.endsWith(QStringLiteral(".sh")) ? 0755 : 0644) << path.toStdString();
    }
    EXPECT_EQ(launchctl.calls(),
              (QStringList{QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay"),
                           QStringLiteral("bootstrap gui/501 ") + plist()}));

    const QByteArray xml = readFile(plist());
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), static_cast<uint32_t>(xml.size()), &root);
    ASSERT_TRUE(root);
    EXPECT_EQ(plist_dict_get_size(root), 7u);
    EXPECT_EQ(plistString(plist_dict_get_item(root, "Label")), QStringLiteral("io.zembrix.idlewyn.relay"));
    plist_t arguments = plist_dict_get_item(root, "ProgramArguments");
    EXPECT_EQ(plist_array_get_size(arguments), 2u);
    EXPECT_EQ(plistString(plist_array_get_item(arguments, 0)), QStringLiteral("/usr/bin/python3"));
    EXPECT_EQ(plistString(plist_array_get_item(arguments, 1)), installer.relayScript());
    EXPECT_TRUE(plist_bool_val_is_true(plist_dict_get_item(root, "RunAtLoad")));
    EXPECT_TRUE(plist_bool_val_is_true(plist_dict_get_item(root, "KeepAlive")));
    EXPECT_EQ(plistString(plist_dict_get_item(root, "ProcessType")), QStringLiteral("Background"));
    EXPECT_EQ(plistString(plist_dict_get_item(root, "StandardOutPath")), installer.logFile());
    EXPECT_EQ(plistString(plist_dict_get_item(root, "StandardErrorPath")), installer.logFile());
    plist_free(root);

    EXPECT_FALSE(installer.needsUpdate());
    EXPECT_TRUE(installer.usesThisAppsRelay());
}

TEST_F(InstallerTest, LaunchdBootstrapGetsFiveAttemptsAndTheFifthFailureIsReported)
{
    launchctl.failAlways(QStringLiteral("bootout")); // an agent that is not loaded yet
    launchctl.failNext(QStringLiteral("bootstrap"), 4);
    EXPECT_EQ(failureOf(installerWith(launchd(launchctl)).start()), QString());
    EXPECT_EQ(launchctl.calls().size(), 6);

    FakeTool failing(QStringLiteral("launchctl"));
    failing.failNext(QStringLiteral("bootstrap"), 6);
    EXPECT_EQ(failureOf(installerWith(launchd(failing)).start()),
              QStringLiteral("launchctl bootstrap failed: bootstrap refused (call 5)"));
    EXPECT_EQ(failing.calls().size(), 6);
}

TEST_F(InstallerTest, LaunchdRestartStartsInFullWithoutAnAgentAndBootstrapsOnceWhenKickstartFails)
{
    EXPECT_EQ(failureOf(installerWith(launchd(launchctl)).restart()), QString());
    EXPECT_EQ(launchctl.calls(),
              (QStringList{QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay"),
                           QStringLiteral("bootstrap gui/501 ") + plist()}));

    FakeTool loaded(QStringLiteral("launchctl"));
    EXPECT_EQ(failureOf(installerWith(launchd(loaded)).restart()), QString());
    EXPECT_EQ(loaded.calls(), QStringList(QStringLiteral("kickstart -k gui/501/io.zembrix.idlewyn.relay")));

    FakeTool unloaded(QStringLiteral("launchctl"));
    unloaded.failAlways(QStringLiteral("kickstart"));
    unloaded.failAlways(QStringLiteral("bootstrap"));
    EXPECT_EQ(failureOf(installerWith(launchd(unloaded)).restart()),
              QStringLiteral("launchctl bootstrap failed: bootstrap refused (call 1)"));
    EXPECT_EQ(unloaded.calls().size(), 2);
}

TEST_F(InstallerTest, LaunchdStopFailsWithLaunchctlsMessageOrItsLaunchError)
{
    launchctl.failAlways(QStringLiteral("bootout"));
    const auto stopped = outcomeOf(installerWith(launchd(launchctl)).stop());
    EXPECT_EQ(stopped.errorText(), QStringLiteral("launchctl bootout failed: bootout refused (call 1)"));
    EXPECT_TRUE(stopped.errorAs<InstallerError>());

    const auto missing = std::make_shared<LaunchdServiceManager>(
        RelayPaths::forHome(home), LaunchdServiceManager::Options{home + QStringLiteral("/launchctl"), 501, {}});
    EXPECT_TRUE(outcomeOf(installerWith(missing).stop()).errorAs<ProcessLaunchError>());
}

TEST_F(InstallerTest, TheInstalledRelayPathIsTheAgentsSecondProgramArgument)
{
    const RelayInstaller installer = installerWith(launchd(launchctl));
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);

    const QString elsewhere = QStringLiteral("/Applications/Old Vesperline.app/Contents/Resources/relay.py");
    writeFile(plist(), binaryPlist({QStringLiteral("/usr/bin/python3"), elsewhere}));
    EXPECT_EQ(installer.installedRelayPath(), elsewhere);
    EXPECT_FALSE(installer.usesThisAppsRelay());

    writeFile(plist(), binaryPlist({QStringLiteral("/usr/bin/python3")}));
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);
    writeFile(plist(),
              "<plist version=\"1.0\"><dict><key>ProgramArguments</key><array><string>a</string>"
              "<integer>3</integer></array></dict></plist>");
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);

    // A binary list may hold U+0000 inside a UTF-16 string. Such a path is no
    // path of ours, and reading it must not bring the application down.
    QByteArray withNul = binaryPlist({QStringLiteral("/usr/bin/python3"), QStringLiteral("/tmp/r\u00e9X.py")});
    const qsizetype at = withNul.indexOf(QByteArray("\x00\xe9\x00X", 4));
    ASSERT_GE(at, 0);
    withNul[at + 3] = '\0';
    writeFile(plist(), withNul);
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);
}

TEST_F(InstallerTest, ADeletedOrChangedInstalledFileNeedsAnUpdateAndRefreshRestoresIt)
{
    const RelayInstaller installer = installerWith(launchd(launchctl));
    installer.refreshFilesIfOutdated();
    EXPECT_FALSE(QFileInfo::exists(installer.supportDirectory())) << "nothing installed, nothing refreshed";

    installer.installFiles();
    QFile::remove(installer.relayScript());
    EXPECT_TRUE(installer.needsUpdate());
    installer.installFiles();
    writeFile(installer.hooksDirectory() + QStringLiteral("/codex-notify.sh"), "#!/bin/sh\n");
    EXPECT_TRUE(installer.needsUpdate());

    installer.refreshFilesIfOutdated();
    EXPECT_FALSE(installer.needsUpdate());
    EXPECT_EQ(modeOf(installer.hooksDirectory() + QStringLiteral("/codex-notify.sh")), 0755);
    EXPECT_TRUE(launchctl.calls().isEmpty()) << "the running relay is left alone";
}

TEST_F(InstallerTest, AResourceMissingFromTheProgramFailsByNameAfterTheEarlierCopies)
{
    QTemporaryDir resources;
    for (const char* name : {"relay.py", "apns.py", "claude-hook.sh"}) {
        QFile::copy(QStringLiteral(":/relay/") + QLatin1String(name), resources.filePath(QLatin1String(name)));
    }
    const RelayInstaller installer = installerWith(launchd(launchctl), {}, resources.path());
    EXPECT_FALSE(installer.fileDiffers(QStringLiteral("codex-notify.sh"), installer.hooksDirectory()));

    const auto started = outcomeOf(installer.start());
    EXPECT_EQ(started.errorText(), QStringLiteral("This app is missing its copy of claude-permission-hook.sh."));
    EXPECT_TRUE(started.errorAs<InstallerError>());
    EXPECT_TRUE(QFileInfo::exists(installer.hooksDirectory() + QStringLiteral("/claude-hook.sh")));
    EXPECT_TRUE(launchctl.calls().isEmpty());
}

TEST_F(InstallerTest, StartWithoutAUsablePythonStopsBeforeTouchingAnything)
{
#ifdef Q_OS_MACOS
    const QString text = QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                        "Install the Command Line Tools: xcode-select --install");
#else
    const QString text = QStringLiteral("The relay needs Python 3.9 or later at /usr/bin/python3. "
                                        "Install it with your package manager: sudo apt install python3");
#endif
    QTemporaryDir bin;
    for (const QString& python :
         {home + QStringLiteral("/python3"), fakePython(bin.path(), "echo AssertionError; exit 1")}) {
        EXPECT_EQ(failureOf(installerWith(launchd(launchctl), python).start()), text);
    }
    EXPECT_TRUE(launchctl.calls().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/.idlewyn-relay")));
}

// ----- systemd user units -----

class SystemdTest : public InstallerTest {
protected:
    std::shared_ptr<SystemdServiceManager> systemd(const FakeTool& tool) const
    {
        return std::make_shared<SystemdServiceManager>(RelayPaths::forHome(home),
                                                       SystemdServiceManager::Options{tool.path()});
    }

    FakeTool systemctl{QStringLiteral("systemctl")};
};

TEST_F(SystemdTest, StartWritesAUnitForTheInstalledRelayThenReloadsEnablesAndRestartsIt)
{
    const RelayInstaller installer = installerWith(systemd(systemctl));
    EXPECT_EQ(failureOf(installer.start()), QString());
    EXPECT_EQ(systemctl.calls(),
              (QStringList{QStringLiteral("--user daemon-reload"),
                           QStringLiteral("--user enable io.zembrix.idlewyn.relay.service"),
                           QStringLiteral("--user restart io.zembrix.idlewyn.relay.service")}));
    const QString unit =
        QString::fromUtf8(readFile(home + QStringLiteral("/.config/systemd/user/io.zembrix.idlewyn.relay.service")));
    QString log = installer.logFile(); // as systemd reads it: %% and $$ stand for % and $
    log.replace(u'%', QStringLiteral("%%")).replace(u'$', QStringLiteral("$$"));
    for (const QString& line :
         {QStringLiteral("Restart=always"), QStringLiteral("WantedBy=default.target"),
          QStringLiteral("StandardOutput=append:") + log, QStringLiteral("StandardError=append:") + log}) {
        EXPECT_TRUE(unit.contains(u'\n' + line + u'\n')) << line.toStdString();
    }
    EXPECT_EQ(installer.installedRelayPath(), installer.relayScript());
    EXPECT_TRUE(installer.usesThisAppsRelay());

    FakeTool again(QStringLiteral("systemctl"));
    EXPECT_EQ(failureOf(installerWith(systemd(again)).restart()), QString());
    EXPECT_EQ(again.calls(), QStringList(QStringLiteral("--user restart io.zembrix.idlewyn.relay.service")));
}

TEST_F(SystemdTest, FailuresNameSystemctlsVerbAndEndTheOperation)
{
    systemctl.failAlways(QStringLiteral("daemon-reload"));
    systemctl.failAlways(QStringLiteral("stop"));
    const RelayInstaller installer = installerWith(systemd(systemctl));
    EXPECT_EQ(failureOf(installer.restart()),
              QStringLiteral("systemctl daemon-reload failed: daemon-reload refused (call 1)"));
    EXPECT_EQ(failureOf(installer.stop()), QStringLiteral("systemctl stop failed: stop refused (call 1)"));
    EXPECT_EQ(systemctl.calls().size(), 2);

    // A line break in a path would smuggle a directive into the unit.
    home += QStringLiteral("/x\nExecStartPre=/bin/false");
    EXPECT_THROW(systemd(systemctl)->writeDefinition(), FileSystemError);
}
