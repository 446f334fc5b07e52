#pragma once

#include "model/session_snapshot.h"

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

namespace idlewyn {

// The application group shared by the applications and their widgets.
namespace AppGroup {
inline const QString identifier = QStringLiteral("group.morrowfen.zembrix.idlewyn");
// The group's settings domain (an INI file named after the group).
std::unique_ptr<QSettings> userDefaults();
} // namespace AppGroup

// The last snapshot, handed between processes of the application group.
class SnapshotStore {
public:
    explicit SnapshotStore(std::optional<QString> suiteName = std::nullopt);

    static SnapshotStore shared();

    const std::optional<QString>& suiteName() const { return m_suiteName; }
    static QString key() { return QStringLiteral("sessionSnapshot"); }

    // Never fails: nothing stored, or bytes that are not a snapshot, read as
    // the empty snapshot, and bad bytes are left where they are.
    SessionSnapshot load() const;
    void save(const SessionSnapshot& snapshot) const;
    void clear() const;

private:
    std::unique_ptr<QSettings> open() const;

    std::optional<QString> m_suiteName;
};

// A settings domain by suite name; no suite means the application's own settings.
std::unique_ptr<QSettings> openDefaults(const std::optional<QString>& suiteName);

} // namespace idlewyn
