#pragma once

// The wire words of an enumeration, written once as a table of its cases:
//
//   template <>
//   struct RawValues<AgentProvider> {
//       static constexpr const char* typeName = "AgentProvider"; // named by decoding errors
//       static constexpr RawCase<AgentProvider> cases[] = {
//           {AgentProvider::claude, u"claude"},
//           {AgentProvider::codex, u"codex"},
//       };
//   };
//
// The table gives the raw value of each case, the case of a raw value
// (exact, case-sensitive), the list of all cases in declaration order, and
// the JSON coding (json_coding.h).

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace idlewyn {

template <class E>
struct RawCase {
    E value;
    QStringView raw;
};

template <class E>
struct RawValues;

template <class E>
concept HasRawValues = requires
{
    RawValues<E>::typeName;
    RawValues<E>::cases;
};

template <HasRawValues E>
QString rawValueOf(E value)
{
    for (const RawCase<E>& entry : RawValues<E>::cases) {
        if (entry.value == value) {
            return entry.raw.toString();
        }
    }
    return {};
}

template <HasRawValues E>
std::optional<E> fromRawValue(QStringView raw)
{
    for (const RawCase<E>& entry : RawValues<E>::cases) {
        if (entry.raw == raw) {
            return entry.value;
        }
    }
    return std::nullopt;
}

template <HasRawValues E>
const QList<E>& allCasesOf()
{
    static const QList<E> cases = [] {
        QList<E> list;
        for (const RawCase<E>& entry : RawValues<E>::cases) {
            list.append(entry.value);
        }
        return list;
    }();
    return cases;
}

} // namespace idlewyn
