#pragma once

// A small typed JSON coding layer over QJsonValue.
//
// A record type becomes codable by listing its fields (record_fields.h), an
// enumeration by its table of raw values (raw_values.h); any other type by
// specialising json::Codable<T> with
//   static T decode(const json::Decoder&);
//   static QJsonValue encode(const T&, const json::Encoder&);
// Each is then read and written with json::relay (ISO-8601 dates, the relay's
// wire form) or json::plain (dates as seconds since 2001-01-01, the secret
// store's form):
//
//   auto sessions = json::relay.decode<QList<AgentSession>>(bytes);
//   QByteArray body = json::relay.encode(settings);
//
// Decoding failures are DecodingError values naming the kind of failure and
// the coding path ("sessions", "Index 3", "startedAt"), so a caller can say
// exactly which field of which element was wrong.

#include "model/error.h"
#include "model/raw_values.h"
#include "model/record_fields.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace idlewyn {

class DecodingError : public Error {
public:
    enum class Kind { keyNotFound, typeMismatch, dataCorrupted };

    DecodingError(Kind kind, QStringList codingPath, const QString& text);

    Kind kind() const noexcept { return m_kind; }
    const QStringList& codingPath() const noexcept { return m_codingPath; }

private:
    Kind m_kind;
    QStringList m_codingPath;
};

class EncodingError : public Error {
public:
    EncodingError(QStringList codingPath, const QString& text);

    const QStringList& codingPath() const noexcept { return m_codingPath; }

private:
    QStringList m_codingPath;
};

namespace json {

enum class DateCoding {
    iso8601,              // "2026-03-01T09:15:27.123Z"; fractional seconds optional when reading
    referenceDateSeconds, // a JSON number: seconds since 2001-01-01T00:00:00Z
};

template <class T>
struct Codable;

class Decoder {
public:
    explicit Decoder(const QJsonValue& value, DateCoding dates);

    const QJsonValue& value() const { return m_value; }
    // Where this value sits in the document ("sessions", "Index 3",
    // "startedAt"). Built only when asked: decoding a whole status document
    // must not pay for paths nobody reads.
    QStringList codingPath() const;
    DateCoding dateCoding() const { return m_dates; }

    // Single values; each fails with a type mismatch on any other JSON type.
    QString string() const;
    bool boolean() const;
    double number() const;
    qint64 integer() const;
    QJsonObject object() const;
    QJsonArray array() const;

    template <class T>
    T as() const
    {
        return Codable<T>::decode(*this);
    }

    // Required member of an object: missing fails with keyNotFound; null with
    // a type mismatch.
    template <class T>
    T decode(const QString& key) const
    {
        return Codable<T>::decode(member(key, /*required=*/true));
    }

    // Optional member: missing and null both read as absent.
    template <class T>
    std::optional<T> decodeIfPresent(const QString& key) const
    {
        Decoder child = member(key, /*required=*/false);
        if (child.m_value.isUndefined() || child.m_value.isNull()) {
            return std::nullopt;
        }
        return Codable<T>::decode(child);
    }

    // A child decoder refers to its parent: use it only while the parent lives
    // (as Codable implementations naturally do).
    Decoder element(qsizetype index, const QJsonValue& value) const;

    [[noreturn]] void typeMismatch(const QString& expected) const;
    [[noreturn]] void dataCorrupted(const QString& text) const;

private:
    Decoder(const QJsonValue& value, DateCoding dates, const Decoder* parent, QString key, qsizetype index);
    Decoder member(const QString& key, bool required) const;

    QJsonValue m_value;
    DateCoding m_dates;
    const Decoder* m_parent = nullptr;
    QString m_key;          // set for an object member
    qsizetype m_index = -1; // set for an array element
};

class Encoder {
public:
    explicit Encoder(DateCoding dates, QStringList codingPath = {})
        : m_dates(dates)
        , m_codingPath(std::move(codingPath))
    {
    }

    DateCoding dateCoding() const { return m_dates; }
    const QStringList& codingPath() const { return m_codingPath; }

    template <class T>
    QJsonValue encode(const T& value) const
    {
        return Codable<T>::encode(value, *this);
    }

    Encoder nested(const QString& key) const;

private:
    DateCoding m_dates;
    QStringList m_codingPath;
};

// Builds one JSON object; absent optionals are left out, never written as null.
class ObjectEncoder {
public:
    explicit ObjectEncoder(const Encoder& encoder)
        : m_encoder(encoder)
    {
    }

    template <class T>
    ObjectEncoder& set(const QString& key, const T& value)
    {
        m_object.insert(key, Codable<T>::encode(value, m_encoder.nested(key)));
        return *this;
    }

    template <class T>
    ObjectEncoder& setIfPresent(const QString& key, const std::optional<T>& value)
    {
        if (value) {
            set(key, *value);
        }
        return *this;
    }

    QJsonObject object() const { return m_object; }

private:
    const Encoder& m_encoder;
    QJsonObject m_object;
};

// Reading and writing whole documents.
struct Coder {
    DateCoding dates;

    QJsonValue parse(const QByteArray& data) const;

    template <class T>
    T decode(const QByteArray& data) const
    {
        return Codable<T>::decode(Decoder(parse(data), dates));
    }

    template <class T>
    T decode(const QJsonValue& value) const
    {
        return Codable<T>::decode(Decoder(value, dates));
    }

    template <class T>
    QByteArray encode(const T& value) const
    {
        return serialize(Codable<T>::encode(value, Encoder(dates)));
    }

    template <class T>
    QJsonValue encodeValue(const T& value) const
    {
        return Codable<T>::encode(value, Encoder(dates));
    }

    static QByteArray serialize(const QJsonValue& value);
};

// The relay's wire coding: ISO-8601 timestamps.
inline constexpr Coder relay{DateCoding::iso8601};
// The platform's plain coding: timestamps as seconds since the 2001 reference date.
inline constexpr Coder plain{DateCoding::referenceDateSeconds};

// ISO-8601 text of the relay: UTC, three fractional digits, "Z".
QString formatISO8601(const QDateTime& date);
// Strict parse: "YYYY-MM-DDTHH:MM:SS[.fraction](Z|±HH:MM|±HHMM)"; nothing else.
std::optional<QDateTime> parseISO8601(QStringView text);

// ----- codings of the basic types -----

template <>
struct Codable<QString> {
    static QString decode(const Decoder& d) { return d.string(); }
    static QJsonValue encode(const QString& v, const Encoder&) { return v; }
};

template <>
struct Codable<bool> {
    static bool decode(const Decoder& d) { return d.boolean(); }
    static QJsonValue encode(bool v, const Encoder&) { return v; }
};

template <>
struct Codable<int> {
    static int decode(const Decoder& d);
    static QJsonValue encode(int v, const Encoder&) { return v; }
};

template <>
struct Codable<qint64> {
    static qint64 decode(const Decoder& d) { return d.integer(); }
    static QJsonValue encode(qint64 v, const Encoder&) { return v; }
};

template <>
struct Codable<double> {
    static double decode(const Decoder& d) { return d.number(); }
    static QJsonValue encode(double v, const Encoder& e);
};

template <>
struct Codable<QDateTime> {
    static QDateTime decode(const Decoder& d);
    static QJsonValue encode(const QDateTime& v, const Encoder& e);
};

template <>
struct Codable<QUrl> {
    static QUrl decode(const Decoder& d);
    static QJsonValue encode(const QUrl& v, const Encoder&) { return v.toString(QUrl::FullyEncoded); }
};

template <>
struct Codable<QJsonObject> {
    static QJsonObject decode(const Decoder& d) { return d.object(); }
    static QJsonValue encode(const QJsonObject& v, const Encoder&) { return v; }
};

// A list fails as a whole when one element fails: nothing is skipped silently.
template <class T>
struct Codable<QList<T>> {
    static QList<T> decode(const Decoder& d)
    {
        const QJsonArray array = d.array();
        QList<T> result;
        result.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            result.append(Codable<T>::decode(d.element(i, array.at(i))));
        }
        return result;
    }

    static QJsonValue encode(const QList<T>& values, const Encoder& e)
    {
        QJsonArray array;
        for (qsizetype i = 0; i < values.size(); ++i) {
            array.append(Codable<T>::encode(values.at(i), e.nested(QStringLiteral("Index %1").arg(i))));
        }
        return array;
    }
};

// An enumeration with a table of raw values is coded as its raw value; an
// unknown word is corrupt data ("Cannot initialize AgentProvider from
// invalid String value …"). A full specialisation may be more forgiving.
template <class E>
    requires HasRawValues<E>
struct Codable<E> {
    static E decode(const Decoder& d)
    {
        const QString raw = d.string();
        if (const std::optional<E> value = fromRawValue<E>(raw)) {
            return *value;
        }
        d.dataCorrupted(QStringLiteral("Cannot initialize %1 from invalid String value %2")
                            .arg(QLatin1String(RawValues<E>::typeName), raw));
    }

    static QJsonValue encode(E value, const Encoder&) { return rawValueOf(value); }
};

// A record with a field list is a JSON object with one key per field. Every
// field is required when reading, except optionals, which read missing and
// null as absent and are left out when absent.
template <class T>
    requires HasFields<T>
struct Codable<T> {
    static T decode(const Decoder& d)
    {
        T record;
        forEachField<T>([&](const auto& field) {
            using Member = typename std::remove_cvref_t<decltype(field)>::Type;
            if constexpr (OptionalValue<Member>::isOptional) {
                record.*(field.member) = d.template decodeIfPresent<typename OptionalValue<Member>::Type>(field.name());
            } else {
                record.*(field.member) = d.template decode<Member>(field.name());
            }
        });
        return record;
    }

    static QJsonValue encode(const T& record, const Encoder& e)
    {
        ObjectEncoder object(e);
        forEachField<T>([&](const auto& field) {
            using Member = typename std::remove_cvref_t<decltype(field)>::Type;
            if constexpr (OptionalValue<Member>::isOptional) {
                object.setIfPresent(field.name(), record.*(field.member));
            } else {
                object.set(field.name(), record.*(field.member));
            }
        });
        return object.object();
    }
};

} // namespace json
} // namespace idlewyn
