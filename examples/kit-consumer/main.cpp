// Orders a set of demo sessions, prints their headline and draws the
// running-relay glyph from the kit's symbol catalogue.
#include "design/symbol_catalogue.h"
#include "model/demo_sessions.h"
#include "model/session_snapshot.h"
#include "model/snapshot_lead.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    idlewyn::SessionSnapshot snapshot;
    snapshot.sessions = idlewyn::DemoSessions::sessions(idlewyn::AgentProvider::claude, now)
        + idlewyn::DemoSessions::sessions(idlewyn::AgentProvider::codex, now);
    snapshot.updatedAt = now;

    QTextStream out(stdout);
    out << snapshot.sorted().size() << " sessions: " << idlewyn::SnapshotLead(snapshot).summary() << "\n";

    const QImage glyph = idlewyn::SymbolCatalogue::image(QStringLiteral("moon.stars.fill"), 32, Qt::black);
    out << "glyph " << (glyph.isNull() ? "missing" : "drawn") << "\n";
    return snapshot.sessions.isEmpty() || glyph.isNull() ? 1 : 0;
}
