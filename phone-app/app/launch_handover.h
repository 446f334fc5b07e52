#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vesperline {

// One client per user: a second launch (a pairing link opened by the system,
// or the app started again from the launcher) hands its argument to the
// running client and ends, so the link pairs in the client that is already
// polling, and its window comes forward.
class LaunchHandover : public QObject {
    Q_OBJECT

public:
    explicit LaunchHandover(QString name = defaultName(), QObject* parent = nullptr);
    ~LaunchHandover() override;

    // True when a running client took the message (empty: only show
    // yourself); the caller then ends. Otherwise this process starts
    // listening for later launches.
    bool handOver(const QString& message);

    static QString defaultName();

signals:
    void received(const QString& message);

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace vesperline
