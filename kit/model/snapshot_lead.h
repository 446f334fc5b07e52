#pragma once

#include "model/session_snapshot.h"
#include "model/session_status.h"

#include <QString>

namespace idlewyn {

// One headline for a snapshot, such as "2 need you · 1 working".
struct SnapshotLead {
    int count = 0;
    SessionStatus status = SessionStatus::finished;
    QString label;
    QString others;
    bool isEmpty = true;

    SnapshotLead(int waiting, int working, int finished, int failed, int total);
    explicit SnapshotLead(const SessionSnapshot& snapshot);

    bool operator==(const SnapshotLead&) const = default;

    QString summary() const;
};

} // namespace idlewyn
