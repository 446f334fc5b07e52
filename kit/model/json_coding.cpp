#include "model/json_coding.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace idlewyn {

DecodingError::DecodingError(Kind kind, QStringList codingPath, const QString& text)
    : Error(text)
    , m_kind(kind)
    , m_codingPath(std::move(codingPath))
{
}

EncodingError::EncodingError(QStringList codingPath, const QString& text)
    : Error(text)
    , m_codingPath(std::move(codingPath))
{
}

namespace json {

namespace {

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("bool");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("a dictionary");
    case QJsonValue::Undefined:
        return QStringLiteral("nothing");
    }
    return QStringLiteral("an unknown value");
}

// Seconds between 1970-01-01 and 2001-01-01, the platform reference date.
constexpr qint64 referenceDateOffsetSeconds = 978307200;

constexpr qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    // Howard Hinnant's days_from_civil: proleptic Gregorian, exact for all years.
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

constexpr bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// The instants both codings can write and read back: UTC years 0001 to 9999.
// The ISO-8601 form has room for four year digits and no sign, so a date
// outside these years would be written as text no decoder accepts; the plain
// coding keeps the same range so that a date moves between the two unharmed.
constexpr qint64 earliestMSecs = daysFromCivil(1, 1, 1) * 86400 * 1000;
constexpr qint64 latestMSecs = daysFromCivil(10000, 1, 1) * 86400 * 1000 - 1;

bool isWritable(const QDateTime& date)
{
    if (!date.isValid()) {
        return false;
    }
    const qint64 msecs = date.toMSecsSinceEpoch();
    return msecs >= earliestMSecs && msecs <= latestMSecs;
}

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

} // namespace

Decoder::Decoder(const QJsonValue& value, DateCoding dates)
    : m_value(value)
    , m_dates(dates)
{
}

Decoder::Decoder(const QJsonValue& value, DateCoding dates, const Decoder* parent, QString key, qsizetype index)
    : m_value(value)
    , m_dates(dates)
    , m_parent(parent)
    , m_key(std::move(key))
    , m_index(index)
{
}

QStringList Decoder::codingPath() const
{
    QStringList path;
    for (const Decoder* d = this; d && d->m_parent; d = d->m_parent) {
        path.prepend(d->m_index >= 0 ? QStringLiteral("Index %1").arg(d->m_index) : d->m_key);
    }
    return path;
}

void Decoder::typeMismatch(const QString& expected) const
{
    throw DecodingError(DecodingError::Kind::typeMismatch, codingPath(),
                        QStringLiteral("Expected to decode %1 but found %2 instead.").arg(expected, typeName(m_value)));
}

void Decoder::dataCorrupted(const QString& text) const
{
    throw DecodingError(DecodingError::Kind::dataCorrupted, codingPath(), text);
}

QString Decoder::string() const
{
    if (!m_value.isString()) {
        typeMismatch(QStringLiteral("String"));
    }
    return m_value.toString();
}

bool Decoder::boolean() const
{
    if (!m_value.isBool()) {
        typeMismatch(QStringLiteral("Bool"));
    }
    return m_value.toBool();
}

double Decoder::number() const
{
    if (!m_value.isDouble()) {
        typeMismatch(QStringLiteral("Double"));
    }
    return m_value.toDouble();
}

qint64 Decoder::integer() const
{
    const double value = number();
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!std::isfinite(value) || std::trunc(value) != value || value < -9223372036854775808.0
        || value >= 9223372036854775808.0) {
        dataCorrupted(QStringLiteral("Parsed JSON number <%1> does not fit in Int.").arg(value));
    }
    return static_cast<qint64>(value);
}

QJsonObject Decoder::object() const
{
    if (!m_value.isObject()) {
        typeMismatch(QStringLiteral("Dictionary<String, Any>"));
    }
    return m_value.toObject();
}

QJsonArray Decoder::array() const
{
    if (!m_value.isArray()) {
        typeMismatch(QStringLiteral("Array<Any>"));
    }
    return m_value.toArray();
}

Decoder Decoder::member(const QString& key, bool required) const
{
    if (!m_value.isObject()) {
        typeMismatch(QStringLiteral("Dictionary<String, Any>"));
    }
    const QJsonObject object = m_value.toObject();
    const auto it = object.constFind(key);
    if (it == object.constEnd()) {
        if (required) {
            throw DecodingError(DecodingError::Kind::keyNotFound, codingPath(),
                                QStringLiteral("No value associated with key \u201C%1\u201D.").arg(key));
        }
        return Decoder(QJsonValue(QJsonValue::Undefined), m_dates, this, key, -1);
    }
    return Decoder(it.value(), m_dates, this, key, -1);
}

Decoder Decoder::element(qsizetype index, const QJsonValue& value) const
{
    return Decoder(value, m_dates, this, QString(), index);
}

Encoder Encoder::nested(const QString& key) const
{
    QStringList path = m_codingPath;
    path.append(key);
    return Encoder(m_dates, std::move(path));
}

QJsonValue Coder::parse(const QByteArray& data) const
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError) {
        return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    }
    // QJsonDocument only holds objects and arrays; a bare scalar is still JSON.
    const QByteArray trimmed = data.trimmed();
    if (!trimmed.isEmpty() && trimmed.front() != '{' && trimmed.front() != '[') {
        const QJsonDocument wrapped = QJsonDocument::fromJson("[" + trimmed + "]", &error);
        if (error.error == QJsonParseError::NoError && wrapped.array().size() == 1) {
            return wrapped.array().at(0);
        }
    }
    throw DecodingError(DecodingError::Kind::dataCorrupted, {}, QStringLiteral("The given data was not valid JSON."));
}

QByteArray Coder::serialize(const QJsonValue& value)
{
    if (value.isObject()) {
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }
    if (value.isArray()) {
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    }
    QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

QString formatISO8601(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

std::optional<QDateTime> parseISO8601(QStringView text)
{
    // Hand-written rather than a regular expression: status documents carry
    // thousands of timestamps and this runs on every poll.
    const qsizetype n = text.size();
    qsizetype pos = 0;
    auto digits = [&](int count, int& out) {
        if (pos + count > n) {
            return false;
        }
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const QChar c = text[pos + i];
            if (c < u'0' || c > u'9') {
                return false;
            }
            value = value * 10 + (c.unicode() - u'0');
        }
        out = value;
        pos += count;
        return true;
    };
    auto expect = [&](char16_t c) {
        if (pos < n && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    };

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!digits(4, year) || !expect(u'-') || !digits(2, month) || !expect(u'-') || !digits(2, day) || !expect(u'T')
        || !digits(2, hour) || !expect(u':') || !digits(2, minute) || !expect(u':') || !digits(2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59
        || second > 59) {
        return std::nullopt;
    }

    int millis = 0;
    if (expect(u'.')) {
        int fractionDigits = 0;
        while (pos < n && text[pos] >= u'0' && text[pos] <= u'9') {
            if (fractionDigits < 3) {
                millis = millis * 10 + (text[pos].unicode() - u'0');
            }
            ++fractionDigits;
            ++pos;
        }
        if (fractionDigits == 0) {
            return std::nullopt;
        }
        for (int i = fractionDigits; i < 3; ++i) {
            millis *= 10;
        }
    }

    int offsetSeconds = 0;
    if (expect(u'Z')) {
        // UTC
    } else if (pos < n && (text[pos] == u'+' || text[pos] == u'-')) {
        const int sign = text[pos] == u'-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!digits(2, oh)) {
            return std::nullopt;
        }
        expect(u':');
        if (!digits(2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (pos != n) {
        return std::nullopt;
    }

    const qint64 days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const qint64 seconds = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    const qint64 msecs = seconds * 1000 + millis;
    // An offset can carry year 0000 or 9999 across the range the encoder can write.
    if (msecs < earliestMSecs || msecs > latestMSecs) {
        return std::nullopt;
    }
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

int Codable<int>::decode(const Decoder& d)
{
    const qint64 value = d.integer();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        d.dataCorrupted(QStringLiteral("Parsed JSON number <%1> does not fit in Int.").arg(value));
    }
    return static_cast<int>(value);
}

QJsonValue Codable<double>::encode(double v, const Encoder& e)
{
    if (!std::isfinite(v)) {
        throw EncodingError(e.codingPath(), QStringLiteral("Unable to encode Double.%1 directly in JSON.").arg(v));
    }
    return v;
}

QDateTime Codable<QDateTime>::decode(const Decoder& d)
{
    if (d.dateCoding() == DateCoding::referenceDateSeconds) {
        const double seconds = d.number();
        const double ms = std::round((seconds + static_cast<double>(referenceDateOffsetSeconds)) * 1000.0);
        // Checked as a double, before the conversion: casting a value that no
        // qint64 holds (1e300, infinity, NaN) is undefined behaviour.
        if (!(ms >= static_cast<double>(earliestMSecs) && ms <= static_cast<double>(latestMSecs))) {
            d.dataCorrupted(QStringLiteral("Invalid reference-date timestamp."));
        }
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC);
    }
    const QString text = d.string();
    if (auto date = parseISO8601(text)) {
        return *date;
    }
    d.dataCorrupted(QStringLiteral("Invalid ISO-8601 date: ") + text);
}

QJsonValue Codable<QDateTime>::encode(const QDateTime& v, const Encoder& e)
{
    if (!v.isValid()) {
        throw EncodingError(e.codingPath(), QStringLiteral("Unable to encode an invalid date."));
    }
    if (!isWritable(v)) {
        throw EncodingError(e.codingPath(), QStringLiteral("Unable to encode a date outside the years 1 to 9999."));
    }
    if (e.dateCoding() == DateCoding::referenceDateSeconds) {
        return static_cast<double>(v.toMSecsSinceEpoch() - referenceDateOffsetSeconds * 1000) / 1000.0;
    }
    return formatISO8601(v);
}

QUrl Codable<QUrl>::decode(const Decoder& d)
{
    const QString text = d.string();
    QUrl url(text, QUrl::StrictMode);
    // The strict parser still lets a few texts through (a "#" inside the
    // fragment) whose fully encoded form, the one written back, reads as a
    // different URL; such a text is no URL string either.
    if (text.isEmpty() || !url.isValid() || QUrl(url.toString(QUrl::FullyEncoded), QUrl::StrictMode) != url) {
        d.dataCorrupted(QStringLiteral("Invalid URL string."));
    }
    return url;
}

} // namespace json
} // namespace idlewyn
