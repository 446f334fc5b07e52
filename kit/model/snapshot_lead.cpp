#include "model/snapshot_lead.h"

#include <QStringList>

namespace idlewyn {

namespace {
const QString separator = QStringLiteral(" \u00B7 ");
}

SnapshotLead::SnapshotLead(int waiting, int working, int finished, int failed, int total)
{
    if (waiting >= 1) {
        count = waiting;
        status = SessionStatus::waitingForInput;
        label = waiting == 1 ? QStringLiteral("needs you") : QStringLiteral("need you");
    } else if (working > 0) {
        count = working;
        status = SessionStatus::working;
        label = QStringLiteral("working");
    } else if (failed > 0) {
        count = failed;
        status = SessionStatus::failed;
        label = QStringLiteral("failed");
    } else {
        count = finished;
        status = SessionStatus::finished;
        label = total != 0 ? QStringLiteral("finished") : QStringLiteral("sessions");
    }
    isEmpty = total == 0;

    struct Group {
        int count;
        SessionStatus status;
        const char* words;
    };
    const Group groups[] = {
        {working, SessionStatus::working, "working"},
        {failed, SessionStatus::failed, "failed"},
        {finished, SessionStatus::finished, "finished"},
    };
    QStringList kept;
    for (const Group& group : groups) {
        if (group.status != status && group.count >= 1) {
            kept.append(QString::number(group.count) + u' ' + QLatin1String(group.words));
        }
    }
    others = kept.join(separator);
}

SnapshotLead::SnapshotLead(const SessionSnapshot& snapshot)
    : SnapshotLead(static_cast<int>(snapshot.count(SessionStatus::waitingForInput)),
                   static_cast<int>(snapshot.workingCount()), static_cast<int>(snapshot.count(SessionStatus::finished)),
                   static_cast<int>(snapshot.count(SessionStatus::failed)), static_cast<int>(snapshot.sessions.size()))
{
}

QString SnapshotLead::summary() const
{
    if (isEmpty) {
        return QStringLiteral("No sessions");
    }
    QString text = QString::number(count) + u' ' + label;
    if (!others.isEmpty()) {
        text += separator + others;
    }
    return text;
}

} // namespace idlewyn
