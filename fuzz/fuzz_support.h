#pragma once

// What every fuzz target shares: a quiet Qt, a way to report a broken
// property so that libFuzzer keeps the input, and the round-trip property
// of the JSON codings.

#include "model/json_coding.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

namespace vesperline::fuzz {

[[noreturn]] inline void fail(const char* property, const QString& detail = {})
{
    std::fprintf(stderr, "\n*** property broken: %s\n%s\n", property, qPrintable(detail));
    std::abort();
}

inline void require(bool holds, const char* property, const QString& detail = {})
{
    if (!holds) {
        fail(property, detail);
    }
}

inline bool isLowerHex(const QString& text)
{
    for (QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) {
            return false;
        }
    }
    return true;
}

inline QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Whatever a coding accepts, it must write back, and what it writes must read
// as the same value: otherwise a record that loaded once is saved in a form
// that no longer loads (or loads as something else).
template <class T>
void requireRoundTrip(const idlewyn::json::Coder& coder, const QByteArray& bytes, const char* what,
                      const std::function<bool(const T&, const T&)>& same = std::equal_to<T>())
{
    std::optional<T> decoded;
    try {
        decoded = coder.decode<T>(bytes);
    } catch (const idlewyn::DecodingError&) {
        return;
    }
    QByteArray written;
    try {
        written = coder.encode(*decoded);
    } catch (const idlewyn::Error& error) {
        fail(what, QStringLiteral("decodes but does not encode: ") + error.description());
    }
    try {
        require(same(coder.decode<T>(written), *decoded), what,
                QStringLiteral("reads back as something else: ") + QString::fromUtf8(written));
    } catch (const idlewyn::DecodingError& error) {
        fail(what,
             QStringLiteral("writes what it cannot read: ") + error.description() + u'\n' + QString::fromUtf8(written));
    }
}

} // namespace vesperline::fuzz
