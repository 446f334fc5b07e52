#include "supervisor/launchd_service_manager.h"

#include "supervisor/installer_error.h"

#include <plist/plist.h>
#include <qcoro/qcorotimer.h>

#include <climits>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace vesperline {

namespace {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<QString> stringValue(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    // Not plist_get_string_val: it asserts (and so aborts the application)
    // when the string holds U+0000, which a binary list can carry. Such a
    // string names no program file, so it reads as unreadable.
    uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    if (!value || std::memchr(value, '\0', length) || length > static_cast<uint64_t>(INT_MAX)) {
        return std::nullopt;
    }
    return QString::fromUtf8(value, static_cast<qsizetype>(length));
}

} // namespace

LaunchdServiceManager::LaunchdServiceManager(RelayPaths paths)
    : LaunchdServiceManager(std::move(paths), Options{})
{
}

LaunchdServiceManager::LaunchdServiceManager(RelayPaths paths, Options options)
    : FileDefinedServiceManager(std::move(paths))
    , m_options(std::move(options))
{
}

QString LaunchdServiceManager::definitionFile() const
{
    return m_paths.home + QStringLiteral("/Library/LaunchAgents/") + relayServiceLabel + QStringLiteral(".plist");
}

QString LaunchdServiceManager::domainTarget() const
{
    return QStringLiteral("gui/%1").arg(m_options.userId.value_or(::getuid()));
}

QString LaunchdServiceManager::serviceTarget() const
{
    return domainTarget() + u'/' + relayServiceLabel;
}

QByteArray LaunchdServiceManager::definitionText() const
{
    PlistPtr dict(plist_new_dict());
    auto setString = [&](const char* key, const QString& value) {
        plist_dict_set_item(dict.get(), key, plist_new_string(value.toUtf8().constData()));
    };
    setString("Label", relayServiceLabel);
    plist_t arguments = plist_new_array();
    plist_array_append_item(arguments, plist_new_string(m_paths.pythonExecutable.toUtf8().constData()));
    plist_array_append_item(arguments, plist_new_string(m_paths.relayScript.toUtf8().constData()));
    plist_dict_set_item(dict.get(), "ProgramArguments", arguments);
    plist_dict_set_item(dict.get(), "RunAtLoad", plist_new_bool(1));
    plist_dict_set_item(dict.get(), "KeepAlive", plist_new_bool(1));
    setString("ProcessType", QStringLiteral("Background"));
    setString("StandardOutPath", m_paths.logFile);
    setString("StandardErrorPath", m_paths.logFile);

    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict.get(), &xml, &length);
    if (!xml) {
        throw FileSystemError(QStringLiteral("Could not serialise the launch agent property list."));
    }
    QByteArray data(xml, static_cast<qsizetype>(length));
    plist_to_xml_free(xml);
    return data;
}

std::optional<QString> LaunchdServiceManager::relayScriptIn(const QByteArray& plistData) const
{
    if (plistData.isEmpty()) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(plistData.constData(), static_cast<uint32_t>(plistData.size()), &root);
    PlistPtr owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    plist_t arguments = plist_dict_get_item(root, "ProgramArguments");
    if (!arguments || plist_get_node_type(arguments) != PLIST_ARRAY) {
        return std::nullopt;
    }
    const uint32_t count = plist_array_get_size(arguments);
    std::optional<QString> second;
    for (uint32_t i = 0; i < count; ++i) {
        std::optional<QString> value = stringValue(plist_array_get_item(arguments, i));
        if (!value) {
            return std::nullopt; // an array of strings or nothing
        }
        if (i == 1) {
            second = std::move(value);
        }
    }
    return second;
}

// Argument lists are built outside the coroutines: GCC 12 miscompiles
// braced lists of temporaries inside a co_await expression.
QStringList LaunchdServiceManager::bootoutArguments() const
{
    return {QStringLiteral("bootout"), serviceTarget()};
}

QStringList LaunchdServiceManager::bootstrapArguments() const
{
    return {QStringLiteral("bootstrap"), domainTarget(), definitionFile()};
}

QStringList LaunchdServiceManager::kickstartArguments() const
{
    return {QStringLiteral("kickstart"), QStringLiteral("-k"), serviceTarget()};
}

QCoro::Task<QString> LaunchdServiceManager::launchctl(QStringList arguments) const
{
    const QString label = QStringLiteral("launchctl ") + arguments.value(0);
    return runTool(m_options.launchctl, label, std::move(arguments));
}

QCoro::Task<> LaunchdServiceManager::bootstrapWithRetry() const
{
    const QStringList arguments = bootstrapArguments();
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        try {
            co_await launchctl(arguments);
            co_return;
        } catch (const idlewyn::Error&) {
            failure = std::current_exception();
        }
        if (attempt == bootstrapAttempts) {
            std::rethrow_exception(failure);
        }
        co_await QCoro::sleepFor(m_options.bootstrapPause);
    }
}

QCoro::Task<> LaunchdServiceManager::start() const
{
    writeDefinition();
    try {
        co_await launchctl(bootoutArguments());
    } catch (const idlewyn::Error&) {
        // Not loaded yet is the usual case; bootstrap reports anything that matters.
    }
    co_await bootstrapWithRetry();
}

QCoro::Task<> LaunchdServiceManager::restart() const
{
    bool kicked = false;
    try {
        co_await launchctl(kickstartArguments());
        kicked = true;
    } catch (const idlewyn::Error&) {
        // Typically the agent is not loaded: load it once instead.
    }
    if (!kicked) {
        co_await launchctl(bootstrapArguments());
    }
}

QCoro::Task<> LaunchdServiceManager::stop() const
{
    co_await launchctl(bootoutArguments());
}

} // namespace vesperline
