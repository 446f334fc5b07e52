#include "model/error.h"

#include <utility>

namespace idlewyn {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_what(m_description.toUtf8())
{
}

} // namespace idlewyn
