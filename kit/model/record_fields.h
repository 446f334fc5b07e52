#pragma once

// A record's fields, listed once beside its members:
//
//   struct PermissionPrompt {
//       QString id;
//       std::optional<QString> alwaysRule;
//       ...
//       static constexpr auto fields()
//       {
//           return std::tuple{field(u"id", &PermissionPrompt::id),
//                             field(u"alwaysRule", &PermissionPrompt::alwaysRule)};
//       }
//   };
//
// The list drives the record's JSON coding (json_coding.h: keys in this
// order, optionals left out when absent) and its hash (hashFields). Equality
// stays the defaulted operator==, which compares the same members. A member
// missing from the list is neither coded nor hashed.

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <optional>
#include <tuple>
#include <type_traits>

namespace idlewyn {

template <class Record, class Member>
struct Field {
    using Type = Member;

    QStringView key; // the wire name
    Member Record::*member;

    // The key without a copy: it points into the string literal.
    QString name() const { return QString::fromRawData(key.data(), key.size()); }
};

template <class Record, class Member>
constexpr Field<Record, Member> field(QStringView key, Member Record::*member)
{
    return {key, member};
}

template <class T>
concept HasFields = requires
{
    T::fields();
};

template <class T>
struct OptionalValue {
    static constexpr bool isOptional = false;
};

template <class T>
struct OptionalValue<std::optional<T>> {
    static constexpr bool isOptional = true;
    using Type = T;
};

// Calls `visit(field)` for each field, in the order of the list.
template <HasFields T, class Visit>
void forEachField(Visit&& visit)
{
    std::apply([&](const auto&... each) { (visit(each), ...); }, T::fields());
}

namespace detail {

template <class T>
size_t hashOfMember(const T& value)
{
    using ::qHash;
    if constexpr (OptionalValue<T>::isOptional) {
        // Absent and present-but-empty hash apart, as they compare apart.
        return value ? qHashMulti(1, hashOfMember(*value)) : 0;
    } else if constexpr (std::is_enum_v<T>) {
        return qHash(static_cast<std::underlying_type_t<T>>(value));
    } else {
        return qHash(value);
    }
}

} // namespace detail

// Hashes every field of the list, consistent with operator==.
template <HasFields T>
size_t hashFields(const T& record, size_t seed = 0)
{
    forEachField<T>([&](const auto& field) { seed = qHashMulti(seed, detail::hashOfMember(record.*(field.member))); });
    return seed;
}

} // namespace idlewyn
