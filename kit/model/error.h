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

// The user-facing text of any failure: an Error's description, what() of
// another std::exception, and a generic sentence for anything else (a caller
// that shows failures must never be left without words, nor crash on one).
QString describeFailure(std::exception_ptr failure);

} // namespace idlewyn
