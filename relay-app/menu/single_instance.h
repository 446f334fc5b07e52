#pragma once

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

class QLocalServer;

namespace vesperline {

// One running application per user: a second launch hands over to the first
// (which shows its panel) instead of starting a second monitor.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answered and was asked to show itself; the
    // caller should then exit. Otherwise this instance becomes the primary.
    // Suspends while it asks; the event loop runs meanwhile.
    QCoro::Task<bool> handOverToRunningInstance();

    static QString defaultName();

signals:
    void activationRequested();

private:
    void listen();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace vesperline
