#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace idlewyn {

// Base of every failure the kit and the application throw. The description is
// the user-facing text: views show it unchanged, tests compare it exactly.
class Error : public std::exception {
public:
    explicit Error(QString description);

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QByteArray m_what;
};

} // namespace idlewyn
