#pragma once

#include "supervisor/service_manager.h"

#include <QByteArray>
#include <QStringList>

namespace vesperline {

// A service manager that describes the relay in one file of its own
// (launchd's property list, systemd's unit) and drives it with one
// command-line tool (launchctl, systemctl). The file is the definition:
// writing, finding and reading it back is the same for both; what differs
// is the file's place and format.
class FileDefinedServiceManager : public ServiceManager {
public:
    // Where the definition lives.
    virtual QString definitionFile() const = 0;
    // The definition for this installation's paths.
    virtual QByteArray definitionText() const = 0;
    // The relay script a definition's content runs; none when it names none.
    virtual std::optional<QString> relayScriptIn(const QByteArray& definition) const = 0;

    // Writes definitionText() to definitionFile(), creating its folder and
    // replacing any earlier file.
    void writeDefinition() const;
    bool hasDefinition() const final;
    std::optional<QString> installedRelayPath() const final;

protected:
    explicit FileDefinedServiceManager(RelayPaths paths);

    // Runs `tool arguments`; a non-zero exit fails as "<label> failed: <output>".
    static QCoro::Task<QString> runTool(QString tool, QString label, QStringList arguments);

    RelayPaths m_paths;
};

} // namespace vesperline
