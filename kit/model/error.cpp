#include "model/error.h"

#include <utility>

namespace idlewyn {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_what(m_description.toUtf8())
{
}

QString describeFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const Error& error) {
        return error.description();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("Something went wrong.");
    }
}

} // namespace idlewyn
