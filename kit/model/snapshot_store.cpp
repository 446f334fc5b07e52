#include "model/snapshot_store.h"

#include <QCoreApplication>

namespace idlewyn {

std::unique_ptr<QSettings> openDefaults(const std::optional<QString>& suiteName)
{
    // A suite name that cannot name a file falls back to the process's own
    // settings, as a refused suite would.
    if (suiteName && !suiteName->isEmpty() && !suiteName->contains(u'/') && *suiteName != QStringLiteral(".")
        && *suiteName != QStringLiteral("..")) {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, *suiteName);
    }
    QString organization = QCoreApplication::organizationName();
    if (organization.isEmpty()) {
        organization = QStringLiteral("Vesperline");
    }
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, organization,
                                       QCoreApplication::applicationName());
}

std::unique_ptr<QSettings> AppGroup::userDefaults()
{
    return openDefaults(identifier);
}

SnapshotStore::SnapshotStore(std::optional<QString> suiteName)
    : m_suiteName(std::move(suiteName))
{
}

SnapshotStore SnapshotStore::shared()
{
    return SnapshotStore(AppGroup::identifier);
}

std::unique_ptr<QSettings> SnapshotStore::open() const
{
    return openDefaults(m_suiteName);
}

SessionSnapshot SnapshotStore::load() const
{
    auto settings = open();
    const QVariant value = settings->value(key());
    if (!value.isValid()) {
        return SessionSnapshot::empty();
    }
    try {
        return json::relay.decode<SessionSnapshot>(value.toByteArray());
    } catch (const Error&) {
        return SessionSnapshot::empty();
    }
}

void SnapshotStore::save(const SessionSnapshot& snapshot) const
{
    QByteArray data;
    try {
        data = json::relay.encode(snapshot);
    } catch (const Error&) {
        return; // the previous value stays
    }
    auto settings = open();
    settings->setValue(key(), data);
    settings->sync();
}

void SnapshotStore::clear() const
{
    auto settings = open();
    settings->remove(key());
    settings->sync();
}

} // namespace idlewyn
